// The printer session with its model thread between the receiving thread and the printer:
// real-time requests are answered while earlier data still waits, the other answers come in
// order to the connection that asked, a pause ends the job after the data before it, and
// every byte of a full receive buffer is printed as a printer on its own prints it.

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "printer/app/PrinterSession.h"
#include "tests/printer/EngineHarness.h"
#include "tests/printer/SessionAnswers.h"

using namespace quillon;

namespace {

// What identifies a page here: its job, its part, whether it ends the job, its contents.
using PageKey = std::tuple<int, int, bool, std::vector<size_t>>;

PageKey KeyOf(const printer::Page& page) {
    std::vector<size_t> kinds;
    for (const auto& e : page.elements)
        kinds.push_back(e.index());
    return {page.job, page.part, page.jobEnd, kinds};
}

void Send(PrinterSession& session, int source, const std::string& bytes) {
    constexpr size_t kRead = 1 << 20;  // as the receiving thread reads
    for (size_t i = 0; i < bytes.size(); i += kRead)
        session.Receive(source, reinterpret_cast<const uint8_t*>(bytes.data()) + i,
                        std::min(kRead, bytes.size() - i));
}

}  // namespace

TEST(PrinterSession, ModelThreadKeepsOrderAnswersAndEveryByteOfAFullBuffer) {
    std::vector<PageKey> printed;
    PrinterSession session(printer::PrinterOptions{},
                           [&](printer::Page&& page) { printed.push_back(KeyOf(page)); });
    std::vector<PageKey> expected;
    printer::VirtualPrinter alone(
        printer::PrinterOptions{}, [](const uint8_t*, size_t) {},
        [&](printer::Page&& page) { expected.push_back(KeyOf(page)); });
    auto both = [&](int source, const std::string& bytes) {
        Send(session, source, bytes);
        alone.Receive(bytes);
    };

    // With the cover open nothing is modelled, so the receive buffer fills up.
    printer::PrinterState coverOpen;
    coverOpen.coverOpen = true;
    session.SetState(coverOpen);
    const std::string receipt =
        Bytes("1B 40 1B 45 01 'TOTAL' 1B 45 00 0A 'Item 1  2.50' 0A 1D 76 30 00 02 00 02 00") +
        Bytes("F0 0F 0F F0 1D 6B 49 05 '{B123' 0A 1D 56 42 00");
    std::string stream;
    while (stream.size() + receipt.size() < (4u << 20))
        stream += receipt;
    stream += Bytes("'a line at the pause' 0A");
    both(1, stream);
    // A pause ends the job only once the line before it is printed.
    session.EndJob();
    alone.EndJob();
    both(1, Bytes("1D 72 01"));           // paper status, once modelled
    both(2, Bytes("10 04 01 1D 49 01"));  // real-time status at once, then the model id
    EXPECT_EQ(TakeAnswersFrom(session, 2, 1), Bytes("1E"));
    const size_t held = stream.size() + 9;
    EXPECT_FALSE(session.Backlogged());
    // The rest of the buffer as images, which are quick to model, and a line of text.
    const std::string image = Bytes("1D 76 30 00 48 00 A0 0F") + std::string(72 * 4000, '\x55');
    std::string rest;
    while (held + rest.size() + image.size() < PrinterSession::kBufferSize)
        rest += image;
    rest += std::string(PrinterSession::kBufferSize - held - rest.size(), 'x');
    both(3, rest);
    EXPECT_TRUE(session.Backlogged());

    // Closed again: the answers come in the order they were asked for, each to its asker.
    session.SetState(printer::PrinterState{});
    std::vector<std::pair<int, std::string>> answers;
    for (int i = 0; i < 3000 && answers.size() < 2; ++i) {
        for (auto& answer : session.TakeAnswers())
            answers.push_back(std::move(answer));
        pollfd ready{session.answersReadyFd(), POLLIN, 0};
        poll(&ready, 1, 10);
        session.ClearAnswersReady();
    }
    const std::vector<std::pair<int, std::string>> inOrder = {{1, Bytes("00")}, {2, Bytes("20")}};
    EXPECT_EQ(answers, inOrder);
    EXPECT_FALSE(session.Backlogged());

    session.Stop();
    alone.EndJob();
    EXPECT_GT(expected.size(), 1000u);
    EXPECT_EQ(printed.size(), expected.size());
    EXPECT_TRUE(printed == expected);
}
