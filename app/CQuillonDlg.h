#pragma once
// The main window: every control of dialog 148, the window's one port, and the four tab
// pages. Its handlers are split over files by concern (port list, page area, control
// states, closing, ...).

#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "app/PrinterAnswers.h"
#include "app/QuillonDlgState.h"
#include "app/ReceivedCharacters.h"
#include "framework/CDialog.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"
#include "transport/CommonUtils.h"
#include "transport/SendReport.h"
#include "transport/SessionLog.h"

class QEvent;
class QTabWidget;

namespace quillon {

class CDialog_ComCirculateSend;
class CDialog_NetCirculateSend;
class CDialog_OtherCommand;
class CPushPinButton;
class Dialog_TestButton;
class ModelTestFile;
class WrappedTextView;

class CQuillonDlg : public CDialog, public PageHost {
  public:
    explicit CQuillonDlg(Language language = InterfaceLanguage(), QWidget* parent = nullptr);
    ~CQuillonDlg() override;

    QuillonDlgState& state() { return state_; }
    const QuillonDlgState& state() const { return state_; }
    CommonUtils& transport() { return transport_; }
    // The tab pages by tab index: 0 Com Cycle, 1 Net Cycle, 2 Test, 3 Others.
    CDialog* Page(int index) const;

    // Fills the port list from the ports given, in the order of kinds: serial, parallel,
    // USB (interface paths, listed as USB1, USB2, ...), then the network entry.
    void SetPortEntries(const QStringList& serial, const QStringList& parallel,
                        const QStringList& usbPaths);
    void FillPortList();
    // Reads CTS, DSR and RLSD of the open serial port and shows them after the port state
    // text; the open operation calls it right after a serial port has opened.
    void ShowLineStatus();

    // Sends bytes through the window's port: the send box, a file, the print test and the
    // canned commands. With hex set the text is hexadecimal; raw leaves out the line end
    // and the Chinese-mode wrapper. Returns 0 when the hex text does not convert.
    int SendData(const QByteArray& text, int hex, int unused, int raw);

    void RefreshControlStates() override;
    void SetPageArea(int show);
    void ShowSelectedPage();

    // PageHost
    WindowRef MainWindow() const override { return Handle(); }
    const QStringList& SerialPortNames() const override { return state_.serialPortNames; }
    int SerialTargets() const override { return state_.serialTargets; }
    void SetSerialTargets(int ticked) override { state_.serialTargets = ticked; }
    void SetSerialRowSelected(int selected) override { state_.serialRowSelected = selected; }
    void SetNetworkTargets(int ticked) override { state_.networkTargets = ticked; }
    QString SerialParameterText() const override { return state_.port.serialParameterText; }
    void ShowSerialParameters(const QString& parameterText) override;
    CycleSendState SendStateForCycle() const override;

  protected:
    bool OnInitDialog() override;

  private:
    // Construction (DialogLayout.cpp).
    void CreateControls();
    void BuildMessageTable();
    // Initialisation (DialogInit.cpp).
    void CreatePages();

    // Modem lines (LineStatus.cpp).
    LRESULT OnLineStatus();

    // Port kind and cycle mode (PortSelection.cpp).
    void OnPortSelectionChange();
    void OnMultipleChange();

    // Page area, tabs, push-pin and receive colours (PageArea.cpp).
    void OnPageAreaToggle();
    void OnTabSelChange();
    void OnPushPin();
    void ApplyReceiveColours();

    // Serial lists and network port (SettingChanges.cpp); the settings file (Settings.cpp).
    void CombosFromSerialText();
    void OnSerialSettingChange();
    void OnNetworkPortChange();
    void LoadSettings();
    void SaveSettings();

    // Devices coming and going (DeviceChanges.cpp).
    void WatchDevices();
    void RefreshPortList();
    LRESULT OnDeviceChange(WPARAM event);

    // Saving received data (SaveReceived.cpp).
    void OnSave();
    void OnModifyDirectory();

    // Help and the receive box's keys (HelpAndKeys.cpp).
    void OnHelp();
    void FilterReceiveInput();
    bool OnReceiveInput(QEvent* event);

    // Closing (Closing.cpp).
    LRESULT OnClose();
    LRESULT OnDestroy();
    void StoreSendText();

    // Opening and closing the port (PortOpenClose.cpp).
    void OnOpenClose();
    int OpenSelectedPort();
    void ClosePort();
    void ShowPortState();
    void SerialTextFromCombos();
    LRESULT OnNetClosed();

    // Sending (SendData.cpp, SendButtons.cpp, SendCompletion.cpp).
    // One sender at a time: whether a send may start now (see SendData.cpp).
    bool SendMayStart() const;
    // Whether a send is on its way that the window waits for before the next may start.
    bool SendInProgress() const;
    void DisableSendStarters();
    // A file send or a model test run has ended: the re-sends that fell due meanwhile go.
    void ExclusiveSendEnded();
    // The bytes a send text stands for: the line end and the Chinese-mode wrapper added
    // unless raw, hex text converted. Nothing (after saying why) when the hex text does
    // not convert.
    std::optional<QByteArray> BytesToSend(const QByteArray& text, int hex, int raw);
    // Gives bytes to the port and remembers them until the port reports them.
    void HandOver(const char* data, qsizetype length, SendState::Role role);
    // The same for a stretch of an open file, which the port takes from the file itself.
    void HandOverFileRange(std::shared_ptr<const SharedFile> file, qint64 offset, qsizetype length);
    // With the port closed, Send, Print Test and the Auto Send boxes start and stop the
    // cycle run of the selected port kind.
    void SendToCyclePage(int start, int repeating);
    void ShowTransmitCount();
    void OnSend();
    void OnAutoSend();
    void OnClearSend();
    void OnIntervalChange();
    LRESULT OnTxDone(WPARAM wParam, LPARAM lParam);
    LRESULT OnTxHeld(WPARAM heldMs);
    // A write failed: says how far the send came and why, and ends the automatic sends.
    void ReportSendFailure(std::size_t written, std::size_t total, int error);
    LRESULT OnTimer(WPARAM id);
    void ReopenParallel();

    // Sending a file (FileSend.cpp).
    void OnBrowse();
    void OnSendFile();
    void FeedFileSend();
    // The port reported a piece of the file.
    void FilePieceWritten(const IoOutcome& outcome);
    void ShowFileProgress();
    void EndFileSend();
    // Ends the file send's job and lets go of its pieces still on their way.
    void StopFileJob();
    // The port took less than a piece: the rest of the file stays unsent.
    void StopFileSend(qsizetype written, qsizetype total);
    // The file could not be read any further: what is in flight still goes, the rest cannot.
    void FileSendReadFailed();

    // Send-mode switches (SendModes.cpp).
    void OnHexSend();
    void OnFileAutoSend();
    // Unticks both Auto Send boxes that are ticked, each through its handler.
    void StopAutomaticSends();
    LRESULT OnCycleFailed();

    // Model test runs (ModelTest.cpp): the family's file is sent a line per timer tick.
    LRESULT RunModelTest(int model);
    void ContinueModelTest();
    // The port reported a line of the run or its closing feed.
    void ModelBlockWritten(SendState::Role role, const SendReport& report);
    // Ends a run at once: nothing more of the file is sent and the Test page follows the
    // port again.
    void EndModelTest();

    // Receive display (ReceiveDisplay.cpp).
    LRESULT OnRxByte(WPARAM wParam);
    LRESULT OnRxBlock(WPARAM wParam);
    // Counts the bytes and, unless paused, keeps and shows them, in order.
    void ReceiveBytes(const std::uint8_t* bytes, std::size_t count);
    // Fills the receive area with the receive text of the chosen view.
    void ShowReceivedData();
    void EmptyReceiveTexts();
    void OnClearReceive();
    void OnPause();
    void OnRecount();
    void OnHexShow();

    // Printer commands (PrinterCommands.cpp) and the model test request (ModelTest.cpp).
    LRESULT OnPrinterCommand(LPARAM command);
    LRESULT OnModelTest(LPARAM model);
    void OnPrintTest();

    // What the printer answers (PrinterQueries.cpp): the Status and Identify buttons send
    // their requests and wait for the answers; answers that come otherwise show as they come.
    void AskPrinter(PrinterQuery query);
    void PrinterAnswered(const std::uint8_t* bytes, std::size_t count);
    // The button's time is up: show what has come.
    void EndPrinterQuery();
    void ShowPrinterStatus();
    void ShowPrinterIdentity();
    // Shows the items in the Others page's line with the time (or that nothing came), the
    // details in its tooltip, and logs the line as `kind`.
    void ShowPrinterAnswer(const char* kind, const QStringList& items, const char* separatorKey,
                           const QString& details);

    // The session log (SessionLogging.cpp).
    void StartSessionLog(const QString& portName, const QString& openText);
    void EndSessionLog(const QString& reason);
    void LogNote(const char* kind, const QString& text);
    // Everything handed to the port and everything received passes here, to the log and to
    // the decoder of the printer's answers.
    void NoteSent(const char* data, qsizetype length);
    void NoteReceived(const std::uint8_t* bytes, std::size_t count);
    // The log's path (or why there is none) in the state line's tooltip.
    void ShowSessionLogNote();
    LRESULT OnSessionLogFailed();
    void SaySessionLogFailed();
    void ShowSessionLogs();

    // Declared first so that it goes last: the pages and controls go before the port.
    CommonUtils transport_;
    QuillonDlgState state_;
    WrappedTextView* receive_ = nullptr;
    // How the character view reads the received bytes, where it left off.
    ReceivedCharacters characters_;
    QTabWidget* tabs_ = nullptr;
    CPushPinButton* pushPin_ = nullptr;
    std::unique_ptr<CDialog_ComCirculateSend> comCycle_;
    std::unique_ptr<CDialog_NetCirculateSend> netCycle_;
    std::unique_ptr<Dialog_TestButton> testPage_;
    std::unique_ptr<CDialog_OtherCommand> otherPage_;
    // The model file a run is reading; null once its closing feed is out.
    std::unique_ptr<ModelTestFile> modelTestFile_;
    int modelTestRunning_ = 0;
    // The run's closing feed has been written: the run ends with "Test completed".
    bool modelTestFed_ = false;
    // What a cycle run started by Print Test sends instead of the send text.
    std::optional<CycleSendState> cycleSendOverride_;
    PrinterAnswers printerAnswers_;
    // The log of the open port's session; null while none is written.
    std::shared_ptr<SessionLog> sessionLog_;
    QString lastSessionLog_;
    bool sessionLogFailureSaid_ = false;
};

}  // namespace quillon
