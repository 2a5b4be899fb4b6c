// The application object: the program's title, its registered main window, the "main window on
// the task bar" flag, the quit request and the guard that every dispatched event runs inside.
// It holds the rules only; the toolkit's loop (qt_application.h) and its message boxes plug in
// through TEventLoopHost and TMessageBoxShower, so that the rules run and are tested without a
// display.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace varelum::app {

// Modal message boxes as the shell shows them. Each call returns when the user has closed the
// box.
class TMessageBoxShower {
  public:
    virtual ~TMessageBoxShower() = default;

    // The main loop's error box: error icon, one OK button, modal to the application.
    virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;

    // The report of a failed start: error icon, one OK button, modal to the whole task (there
    // is no main window to be modal to).
    virtual void ShowTaskModalErrorBox(const std::string& caption, const std::string& text) = 0;
};

// What the application object needs of the toolkit's event loop.
class TEventLoopHost {
  public:
    virtual ~TEventLoopHost() = default;

    // Queues a quit request behind the events already queued; the loop reports taking it with
    // TApplication::QuitRequestTaken and then stops. Callable before the loop runs.
    virtual void PostQuitRequest() = 0;

    // Ends any mouse capture, drag or open pop-up menu, so that nothing stays half-done after
    // an event handler failed.
    virtual void CancelMouseCapture() = 0;
};

// The program's main window as the shell sees it.
class TMainForm {
  public:
    virtual ~TMainForm() = default;

    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;

    // Creates the native window; the shell does this just before registering the window.
    virtual void CreateNativeWindow() = 0;

    // Shows the window; its show handler (FormShow) runs before this returns.
    virtual void Show() = 0;
};

class TApplication {
  public:
    // Both must outlive the application object.
    TApplication(TMessageBoxShower& boxes, TEventLoopHost& loop) : FBoxes(boxes), FLoop(loop) {}

    // Removes itself as the data layer's exception handler if it installed itself.
    ~TApplication();

    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Start-up step 2: installs HandleException as the process's application exception handler
    // (db::SetApplicationExceptionHandler), which data-aware controls and the window's event
    // handlers report their exceptions to, so that those end in the same error box as an
    // exception that reaches the guard.
    void Initialize();

    // The caption of every notice and of the main loop's error box.
    const std::string& Title() const { return FTitle; }
    void SetTitle(std::string title) { FTitle = std::move(title); }

    // Whether the main window has a task-bar entry of its own (set at start).
    bool MainFormOnTaskBar() const { return FMainFormOnTaskBar; }
    void SetMainFormOnTaskBar(bool onTaskBar) { FMainFormOnTaskBar = onTaskBar; }

    // The main window, registered only once its construction has finished completely; null
    // until then. The window must outlive its registration (UnregisterMainForm before it goes).
    TMainForm* MainForm() const { return FMainForm; }
    void RegisterMainForm(TMainForm& form) { FMainForm = &form; }
    void UnregisterMainForm() { FMainForm = nullptr; }

    // Requests the end of the main loop. Takes effect only when the loop takes the request from
    // its queue: the event being handled runs to its end, and so does anything queued earlier.
    void Terminate() { FLoop.PostQuitRequest(); }

    // Called by the loop when it takes the quit request; from then on Terminated() is true.
    void QuitRequestTaken() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }

    // Reports an exception that escaped an event handler: cancels any mouse capture; shows
    // nothing for the silent abort (rtl::EAbort); otherwise shows the error box with the
    // innermost message of the exception (period rule of ErrorBoxText) under the title.
    void HandleException(std::exception_ptr error) noexcept;

    // Runs `action` inside the guard: an exception escaping it is reported by HandleException
    // and goes no further. Returns whether the action ran to its end.
    template <class Action>
    bool Guard(Action&& action) noexcept {
        try {
            std::forward<Action>(action)();
            return true;
        } catch (...) {
            HandleException(std::current_exception());
            return false;
        }
    }

    // Reports an exception that escaped the construction of the main window, in the task-modal
    // box "Application Error" (ApplicationErrorText): its class name, the file name of the
    // module holding `codeAddress`, that address, and its innermost message.
    void ShowStartFailure(std::exception_ptr error, const void* codeAddress) noexcept;

  private:
    TMessageBoxShower& FBoxes;
    TEventLoopHost& FLoop;
    std::string FTitle;
    TMainForm* FMainForm = nullptr;
    bool FMainFormOnTaskBar = false;
    bool FTerminated = false;
    bool FInstalledExceptionHandler = false;
};

}  // namespace varelum::app
