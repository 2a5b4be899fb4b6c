// The single-instance guard's check and hand-over, and the program's halt.
#include "app/krel_one_instance.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/named_system_object.h"

namespace varelum::app {

void HaltProgram(const std::vector<TProgramModule>& modules, int exitCode) {
    for (auto module = modules.rbegin(); module != modules.rend(); ++module) {
        if (!module->Finalize) {
            continue;
        }
        try {
            module->Finalize();
        } catch (...) {
            // The process ends here whatever a module's end step does; the remaining modules
            // still get theirs.
        }
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

TKrelOneInstance::TKrelOneInstance(rtl::TComponent* owner, TApplication& application,
                                   TTopLevelWindows& windows, TProgramHalt halt)
    : rtl::TComponent(owner),
      FApplication(application),
      FWindows(windows),
      FHalt(std::move(halt)) {}

// The held descriptors stay open on purpose: the first copy keeps its name until the process
// ends, also after its window and this component are gone.
TKrelOneInstance::~TKrelOneInstance() = default;

void TKrelOneInstance::Loaded() {
    rtl::TComponent::Loaded();
    if (FActive && !ComponentState().Contains(rtl::csDesigning)) {
        CheckInstance();
    }
}

void TKrelOneInstance::SetActive(bool Value) {
    if (FActive != Value) {
        FActive = Value;
    }
    const rtl::TComponentState state = ComponentState();
    if (FActive && !state.Contains(rtl::csLoading) && !state.Contains(rtl::csDesigning)) {
        CheckInstance();
    }
}

std::string TKrelOneInstance::MainFormCaption() const {
    const TMainForm* mainForm = FApplication.MainForm();
    return mainForm != nullptr ? mainForm->Caption() : std::string();
}

std::string TKrelOneInstance::InstanceName(const std::string& caption) const {
    return NamePrefix + caption + std::to_string(FIdApplication);
}

std::string TKrelOneInstance::InstanceName() const {
    return InstanceName(MainFormCaption());
}

bool TKrelOneInstance::HoldsInstanceName(const std::string& name) const {
    for (const THeldName& held : FHeldNames) {
        if (held.Name == name) {
            return true;
        }
    }
    return false;
}

namespace {

// Gives the main window a title for the life of the object and its caption back afterwards,
// also when the search in between throws. Does nothing without a registered main window.
class TTemporaryMainFormTitle {
  public:
    TTemporaryMainFormTitle(TApplication& application, const std::string& caption)
        : FApplication(application), FCaption(caption) {
        SetMainFormCaption(TKrelOneInstance::TemporaryTitle);
    }
    ~TTemporaryMainFormTitle() { SetMainFormCaption(FCaption); }
    TTemporaryMainFormTitle(const TTemporaryMainFormTitle&) = delete;
    TTemporaryMainFormTitle& operator=(const TTemporaryMainFormTitle&) = delete;

  private:
    void SetMainFormCaption(const std::string& caption) {
        if (TMainForm* mainForm = FApplication.MainForm()) {
            mainForm->SetCaption(caption);
        }
    }

    TApplication& FApplication;
    const std::string& FCaption;
};

}  // namespace

void TKrelOneInstance::CheckInstance() {
    bool Continue = true;
    if (FOnVerify) {
        FOnVerify(this, Continue);
    }
    if (!Continue) {
        return;
    }

    const std::string name = InstanceName();
    if (HoldsInstanceName(name)) {
        return;
    }

    TNamedObjectResult created = CreateNamedSystemObject(name);
    if (!created.Handle.Valid()) {
        return;
    }
    if (created.LastError != ErrorAlreadyExists) {
        FHeldNames.push_back({name, created.Handle.Release()});
        return;
    }

    created.Handle.Close();
    const std::string caption = MainFormCaption();
    TWindowHandle PrevInstance = 0;
    {
        TTemporaryMainFormTitle hideOwnWindow(FApplication, caption);
        PrevInstance = FWindows.FindWindowByTitle(caption);
    }
    HandleDuplicate(PrevInstance);
}

void TKrelOneInstance::HandleDuplicate(std::uint32_t PrevInstance) {
    if (FOnDuplicated) {
        FOnDuplicated(this, PrevInstance);
        return;
    }
    if (FWindows.IsMinimized(PrevInstance)) {
        FWindows.Restore(PrevInstance);
    }
    FWindows.ShowNormal(PrevInstance);
    FWindows.BringToFront(PrevInstance);
    if (FHalt) {
        FHalt(ExitCodeSuccess);
    }
    // A second copy must not run on, even if the halt it was given returned.
    std::_Exit(ExitCodeSuccess);
}

}  // namespace varelum::app
