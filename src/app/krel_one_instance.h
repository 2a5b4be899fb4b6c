// TKrelOneInstance: the single-instance guard. A non-visual component on the main window that
// finds out whether a copy of the same program is already running and, when it is, hands over
// to that copy or lets its owner decide (OnDuplicated).
//
// Detection rests on a named object of the user's own (named_system_object.h) that the first copy
// creates and holds for the rest of its life; a later copy that tries to create the same name
// learns that it exists. The name is "one_instance_", the caption of the application's
// registered main window (empty while there is none) and IdApplication in decimal. The check
// runs when loading ends (the main window's after-load step, before the window is registered,
// so the caption part is then empty) and whenever Active is set to true at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/start_up.h"
#include "app/top_level_windows.h"
#include "rtl/component.h"

namespace varelum::app {

// Asked before each check; setting Continue to false skips it.
using TKrelVerifyEvent = std::function<void(rtl::TComponent* Sender, bool& Continue)>;
// Told of a previous copy, with its main window as found by its title (0 when none was found).
using TKrelDuplicatedEvent =
    std::function<void(rtl::TComponent* Sender, std::uint32_t PrevInstance)>;

// Ends the process at once with the exit code; must not return.
using TProgramHalt = std::function<void(int exitCode)>;

// The program's halt: finalises `modules` last to first, flushes the output streams and ends
// the process with `exitCode` at once, without unwinding. REQUIRES: every module has been
// initialised (start-up does that before it builds the main window). The window being built,
// the application object and the loaded libraries are left to the kernel: the process is midway
// through building them, and destroying them from here, out of their order, could fail at the
// last moment. A finalisation step that throws is passed over.
[[noreturn]] void HaltProgram(const std::vector<TProgramModule>& modules, int exitCode);

class TKrelOneInstance : public rtl::TComponent {
  public:
    static constexpr bool DefaultActive = true;
    static constexpr std::int32_t DefaultIdApplication = 0;
    // The start of every instance name.
    static constexpr const char* NamePrefix = "one_instance_";
    // The main window's title while the previous copy's window is searched for, so that the
    // search cannot find this copy's own window.
    static constexpr const char* TemporaryTitle = "_temp_app_title";

    // Active true, IdApplication 0, no handlers. application and windows must outlive the
    // component: the main window's caption is read from `application`, the previous copy's
    // window is found and raised through `windows`. The built-in hand-over ends the process
    // through `halt` (the program gives HaltProgram with its modules); an empty halt, or one
    // that returns, ends it with std::_Exit(0) and no module finalisation.
    TKrelOneInstance(rtl::TComponent* owner, TApplication& application, TTopLevelWindows& windows,
                     TProgramHalt halt);
    // Closes nothing: a held instance name stays held until the process ends.
    ~TKrelOneInstance() override;

    // The after-load step: the framework's own first, then CheckInstance when Active is true
    // and the component is not in design.
    void Loaded() override;

    bool Active() const noexcept { return FActive; }
    // Stores Value; then, when Active is true and the component is neither loading nor in
    // design, runs CheckInstance (also when Active was true already). While loading, the
    // after-load step checks instead.
    void SetActive(bool Value);

    std::int32_t IdApplication() const noexcept { return FIdApplication; }
    void SetIdApplication(std::int32_t Value) { FIdApplication = Value; }

    const TKrelVerifyEvent& OnVerify() const noexcept { return FOnVerify; }
    void SetOnVerify(TKrelVerifyEvent Value) { FOnVerify = std::move(Value); }

    // When set, it replaces the built-in hand-over: whether the program ends is its decision.
    const TKrelDuplicatedEvent& OnDuplicated() const noexcept { return FOnDuplicated; }
    void SetOnDuplicated(TKrelDuplicatedEvent Value) { FOnDuplicated = std::move(Value); }

    // The name a check would use now: NamePrefix, the registered main window's caption (empty
    // when there is none) and IdApplication in decimal (with "-" when negative).
    std::string InstanceName() const;

    // Whether this component created `name` and holds it (this is the first copy under it).
    bool HoldsInstanceName(const std::string& name) const;

  protected:
    // In order: asks OnVerify (stops when it answers Continue false); builds the name; creates
    // the named object. Created: this is the first copy, and the handle is held until the
    // process ends. Already existing: closes the handle just obtained, searches the top-level
    // windows for one titled with the main window's caption (while its own title is
    // TemporaryTitle) and runs HandleDuplicate with it. Creation failed: nothing more happens,
    // no message either (the guard is then off). A name this component holds already answers
    // "first copy" at once: a copy never takes itself for a previous one.
    virtual void CheckInstance();

    // OnDuplicated when set, and nothing more. Otherwise the built-in hand-over: restores
    // PrevInstance when minimized, shows it in its normal state, brings it to the front and
    // halts the process with exit code 0 (this call does not return).
    virtual void HandleDuplicate(std::uint32_t PrevInstance);

  private:
    struct THeldName {
        std::string Name;
        int Descriptor;  // never closed: the kernel drops the name when the process ends
    };

    // The caption of the registered main window; empty when there is none.
    std::string MainFormCaption() const;
    std::string InstanceName(const std::string& caption) const;

    bool FActive = DefaultActive;
    std::int32_t FIdApplication = DefaultIdApplication;
    TKrelVerifyEvent FOnVerify;
    TKrelDuplicatedEvent FOnDuplicated;

    TApplication& FApplication;
    TTopLevelWindows& FWindows;
    TProgramHalt FHalt;
    // The names this component created, each held by an open descriptor; usually one.
    std::vector<THeldName> FHeldNames;
};

}  // namespace varelum::app
