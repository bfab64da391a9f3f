#pragma once
// The text of "Quillon.ini": twelve lines by position (port, serial parameters, address,
// check boxes, interval, save folder, page area), then the character send text after the
// line "SendData_ASC" and the hex send text after "SendData_HEX". Lines end with CR LF;
// a line break inside a send text is written as CR CR LF, the way a text-mode writer
// stores a CR LF. Files are UTF-8; a line that is not is read in the printers' code page.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "framework/Language.h"

namespace quillon {

struct SettingsText {
    QStringList lines;          // lines 0 to 11, as many as the file has
    bool hasSendTexts = false;  // line 12 is the "SendData_ASC" marker
    QString charSendText;       // with CR LF line breaks
    QString hexSendText;
};

// Reading stops here: a settings file is a few hundred bytes plus two send texts.
constexpr qint64 kMaxSettingsBytes = 16 * 1024 * 1024;

// "<config>/Quillon/Quillon.ini", the folder created when missing; the bare name (the
// current folder) when that folder cannot be made or written to.
QString SettingsFilePath();

QByteArray FormatSettings(const SettingsText& settings);
SettingsText ParseSettings(const QByteArray& bytes, Language language);

// At most kMaxSettingsBytes of the file; empty when it cannot be read.
QByteArray ReadSettingsFile(const QString& path);
// Writes a new file beside the old one and renames it over it once it is complete on disk,
// so that a failed write leaves the old file whole. Returns an empty string on success,
// else why it failed.
QString WriteSettingsFile(const QString& path, const QByteArray& bytes);

}  // namespace quillon
