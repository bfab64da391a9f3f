#pragma once
// The dialog layer over Qt: a dialog built from a template id, whose controls are found
// by their numeric ids and whose window messages, control notifications and timers go
// through one message table to handler methods.

#include <QDialog>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "framework/DialogPrompts.h"
#include "framework/Language.h"
#include "framework/Messages.h"
#include "transport/Window.h"

class QTimer;

namespace quillon {

class DialogWindow;

class CDialog : public QDialog {
    Q_OBJECT
  public:
    // A page (child) dialog is a plain child widget; any other dialog is a window.
    CDialog(int templateId, Language language, QWidget* parent = nullptr, bool child = false);
    ~CDialog() override;

    int templateId() const { return templateId_; }
    Language language() const { return language_; }

    // Runs the dialog initialisation once (the controls exist from construction on).
    void Create();
    // Create, run modally until EndDialog, destroy; returns the EndDialog result.
    int DoModal();
    void EndDialog(int result);
    // WM_DESTROY, then the dialog no longer takes messages from other threads.
    void DestroyWindow();
    bool IsDestroyed() const { return destroyed_; }

    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* Item(int id) const {
        return dynamic_cast<T*>(GetDlgItem(id));
    }

    // Handles a message through the message table on the dialog's thread; 0 when no entry.
    // WM_COMMAND carries MakeCommandParam(id, code); WM_NOTIFY carries the id in wParam and
    // the notification code in lParam.
    LRESULT SendMessage(unsigned message, WPARAM wParam = 0, LPARAM lParam = 0);
    // What transports and worker threads address this dialog by.
    WindowRef Handle() const;

    // Control helpers by id.
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    QString ItemText(int id) const;
    void SetItemText(int id, const QString& text);
    // A named line's tooltip shows its whole text and then this note, kept across texts.
    void SetItemNote(int id, const QString& note);
    void EnableItem(int id, bool enabled);
    bool IsItemEnabled(int id) const;
    int CurSel(int id) const;
    // Selects an entry of a drop-down list or a tab without a selection-change notification.
    void SetCurSel(int id, int index);
    // Selects the entry of a drop-down list that reads `text`, without a notification;
    // the selection stays as it was when no entry does.
    void SelectString(int id, const QString& text);

    // One-shot timers by id: setting a running timer starts it again with the new time.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool IsTimerRunning(int id) const;
    int TimerInterval(int id) const;

    // Places every control now, also while the dialog is hidden (Qt otherwise lays out
    // the controls of a hidden dialog only when it is shown).
    void LayOutNow();

    DialogPrompts& Prompts() const { return *prompts_; }
    const std::shared_ptr<DialogPrompts>& SharedPrompts() const { return prompts_; }
    void SetPrompts(std::shared_ptr<DialogPrompts> prompts);
    int MessageBox(const QString& text, const QString& caption = QString(), unsigned type = MB_OK);

  protected:
    virtual bool OnInitDialog() { return true; }

    // Registers a control under its id and routes its notifications into the table.
    template <class T>
    T* AddControl(int id, T* control) {
        Register(id, control);
        return control;
    }
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    void OnMessage(unsigned message, MessageHandler handler);
    void OnCommand(int code, int id, std::function<void()> handler);
    // Runs change with the controls' notifications held back, as for changes the dialog
    // makes to its own controls that the platform would not report.
    template <class F>
    void WithoutNotifications(F change) {
        ++quietNotifications_;
        change();
        --quietNotifications_;
    }

    void closeEvent(QCloseEvent* event) override;
    // Escape and the default button never end a dialog: only EndDialog does.
    void reject() override {}
    void accept() override {}

  private:
    void Register(int id, QWidget* control);
    void Notify(int id, int code);

    int templateId_;
    Language language_;
    bool created_ = false;
    bool destroyed_ = false;
    int quietNotifications_ = 0;
    std::map<int, QWidget*> controls_;
    std::map<int, QString> notes_;
    std::map<unsigned, MessageHandler> messages_;
    std::map<std::pair<int, int>, std::function<void()>> commands_;
    std::map<int, QTimer*> timers_;
    std::shared_ptr<DialogPrompts> prompts_;
    std::shared_ptr<DialogWindow> window_;
};

}  // namespace quillon
