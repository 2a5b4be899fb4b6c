// The start-up sequence: the order of the shell's steps, the start-failure report and the exit
// codes.
#include "app/start_up.h"

#include <cstddef>
#include <exception>

namespace varelum::app {

namespace {

// Initialises modules in order and finalises, in reverse, those that were initialised: at the end
// of a run and after a failed start alike.
class TModuleLifetime {
  public:
    explicit TModuleLifetime(const std::vector<TProgramModule>& modules) : FModules(modules) {}
    TModuleLifetime(const TModuleLifetime&) = delete;
    TModuleLifetime& operator=(const TModuleLifetime&) = delete;

    void InitializeAll() {
        for (const TProgramModule& module : FModules) {
            if (module.Initialize) {
                module.Initialize();
            }
            ++FInitialized;
        }
    }

    void FinalizeAll() {
        while (FInitialized > 0) {
            const TProgramModule& module = FModules[--FInitialized];
            if (module.Finalize) {
                module.Finalize();
            }
        }
    }

    ~TModuleLifetime() { FinalizeAll(); }

  private:
    const std::vector<TProgramModule>& FModules;
    std::size_t FInitialized = 0;
};

// The code address a start failure names: the place in the start-up code from which the failing
// step was called. C++ keeps no raise address, so this is our equivalent.
[[gnu::noinline]] const void* CallerAddress() {
    return __builtin_extract_return_addr(__builtin_return_address(0));
}

}  // namespace

int RunProgram(TApplication& application, const TProgram& program) {
    std::unique_ptr<TMainForm> mainForm;
    TModuleLifetime modules(program.Modules);
    try {
        modules.InitializeAll();
        application.Initialize();
        application.SetMainFormOnTaskBar(true);
        application.SetTitle(ApplicationTitle);
        mainForm = program.CreateMainForm(application);
        mainForm->CreateNativeWindow();
        application.RegisterMainForm(*mainForm);
    } catch (...) {
        application.ShowStartFailure(std::current_exception(), CallerAddress());
        modules.FinalizeAll();
        mainForm.reset();
        return ExitCodeStartFailure;
    }

    application.Guard([&] { mainForm->Show(); });
    if (program.RunLoop) {
        program.RunLoop();
    }

    modules.FinalizeAll();
    application.UnregisterMainForm();
    mainForm.reset();
    return ExitCodeSuccess;
}

}  // namespace varelum::app
