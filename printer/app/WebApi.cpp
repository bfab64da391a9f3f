#include "printer/app/WebApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

#include <cstdlib>

#include "escpos/Status.h"
#include "printer/app/JobJournal.h"
#include "printer/app/PrinterSession.h"

namespace quillon {
namespace {

constexpr const char* kHeaderEnd = "\r\n\r\n";

size_t ContentLength(const std::string& headers) {
    // Header names are case-insensitive.
    std::string lower = headers;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

std::string Reply(const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

std::string JsonReply(const std::string& status, const QJsonObject& object) {
    return Reply(status, "application/json",
                 QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n");
}

std::string ErrorReply(const std::string& status, const std::string& why) {
    return JsonReply(status, {{"error", QString::fromStdString(why)}});
}

QJsonObject StatusJson(const printer::PrinterState& s) {
    QJsonArray realTime;
    for (int n = 1; n <= 4; ++n)
        realTime.append(escpos::RealTimeStatus(s, n));
    return {
        {"online", s.Online()},
        {"cover", s.coverOpen ? "open" : "closed"},
        {"paper", s.paperEnd       ? "out"
                  : s.paperNearEnd ? "near-end"
                                   : "ok"},
        {"drawer", s.drawerOpen ? "open" : "closed"},
        {"dleEot", realTime},
    };
}

// Applies the form's items to `s`; false with `why` for an item it does not know. `drawer`
// is set when the form names the drawer.
bool ApplyForm(const QUrlQuery& form, printer::PrinterState& s, bool& drawer, std::string& why) {
    for (const auto& [key, value] : form.queryItems(QUrl::FullyDecoded)) {
        if (key == "cover" && (value == "open" || value == "closed")) {
            s.coverOpen = value == "open";
        } else if (key == "paper" && (value == "ok" || value == "near-end" || value == "out")) {
            s.paperEnd = value == "out";
            s.paperNearEnd = value == "near-end";
        } else if (key == "drawer" && (value == "open" || value == "closed")) {
            s.drawerOpen = value == "open";
            drawer = true;
        } else {
            why = "unknown setting " + (key + "=" + value).toStdString() +
                  "; known: cover=open|closed, paper=ok|near-end|out, drawer=open|closed";
            return false;
        }
    }
    return true;
}

// GET /api/jobs and GET /api/jobs/N.png (part 1) or /api/jobs/N-P.png (part P).
std::string JobsResponse(const std::string& method, const QString& path, JobJournal* journal) {
    if (method != "GET")
        return ErrorReply("405 Method Not Allowed", "jobs are read with GET");
    if (!journal)
        return ErrorReply("404 Not Found", "this printer keeps no journal");
    if (path == "/api/jobs")
        return Reply(
            "200 OK", "application/json",
            QJsonDocument(journal->Recent()).toJson(QJsonDocument::Compact).toStdString() + "\n");
    static const QRegularExpression image("^/api/jobs/([0-9]{1,9})(?:-([0-9]{1,9}))?\\.png$");
    const QRegularExpressionMatch match = image.match(path);
    if (!match.hasMatch())
        return ErrorReply("404 Not Found", "no such page: " + path.toStdString() +
                                               " (images are /api/jobs/N.png and N-P.png)");
    const int job = match.captured(1).toInt();
    const int part = match.hasCaptured(2) ? match.captured(2).toInt() : 1;
    QByteArray png;
    std::string why;
    if (!journal->Image(job, part, png, why))
        return ErrorReply("404 Not Found", why);
    return Reply("200 OK", "image/png", png.toStdString());
}

}  // namespace

bool RequestComplete(const std::string& request) {
    const size_t end = request.find(kHeaderEnd);
    return end != std::string::npos &&
           request.size() - (end + 4) >= ContentLength(request.substr(0, end + 2));
}

std::string WebResponse(const std::string& request, PrinterSession& session,
                        const std::string& pageTitle) {
    const size_t headerEnd = request.find(kHeaderEnd);
    const size_t lineEnd = request.find("\r\n");
    const std::string line = request.substr(0, lineEnd);
    const size_t space = line.find(' ');
    const size_t space2 = line.find(' ', space + 1);
    if (headerEnd == std::string::npos || space == std::string::npos || space2 == std::string::npos)
        return ErrorReply("400 Bad Request", "not an HTTP request");
    const std::string method = line.substr(0, space);
    const QUrl url(QString::fromStdString(line.substr(space + 1, space2 - space - 1)));
    const QString path = url.path();

    if (path == "/" || path == "/index.html") {
        if (method != "GET" && method != "HEAD")
            return ErrorReply("405 Method Not Allowed", "the page is read with GET");
        const std::string body =
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + pageTitle +
            "</title></head><body><h1>" + pageTitle +
            "</h1><p>Raw printing on ports 9100 and 4000.</p><p>API: GET /api/status, POST "
            "/api/state (cover=open|closed, paper=ok|near-end|out, "
            "drawer=open|closed), GET /api/jobs (the recent jobs), GET /api/jobs/N.png (the "
            "first page of job N; N-2.png its second).</p></body></html>\n";
        return Reply("200 OK", "text/html; charset=utf-8", body);
    }
    if (path == "/api/status") {
        if (method != "GET")
            return ErrorReply("405 Method Not Allowed", "the status is read with GET");
        return JsonReply("200 OK", StatusJson(session.State()));
    }
    if (path == "/api/state") {
        if (method != "POST")
            return ErrorReply("405 Method Not Allowed", "the state is set with POST");
        printer::PrinterState state = session.State();
        std::string why;
        bool drawer = false;
        const QUrlQuery body(QString::fromStdString(request.substr(headerEnd + 4)));
        if (!ApplyForm(QUrlQuery(url), state, drawer, why) || !ApplyForm(body, state, drawer, why))
            return ErrorReply("400 Bad Request", why);
        // drawer=open holds the drawer open, even one a kick has opened, until drawer=closed.
        session.SetState(state, drawer);
        return JsonReply("200 OK", StatusJson(session.State()));
    }
    if (path == "/api/jobs" || path.startsWith("/api/jobs/"))
        return JobsResponse(method, path, session.Journal());
    return ErrorReply("404 Not Found", "no such page: " + path.toStdString());
}

}  // namespace quillon
