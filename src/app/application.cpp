// The application object's exception reports: the main loop's guard and the start failure.
#include "app/application.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "app/error_text.h"
#include "db/dataset.h"
#include "rtl/exception.h"

namespace varelum::app {

namespace {

// Shown for an exception that is not a std::exception and so carries no message at all.
constexpr const char* UnknownExceptionMessage = "Exception of unknown type";

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name of the module (executable or shared library) that holds `codeAddress`; the
// running executable's when the address belongs to none that the loader knows.
std::string ModuleFileName(const void* codeAddress) {
    Dl_info info{};
    if (codeAddress != nullptr && dladdr(codeAddress, &info) != 0 && info.dli_fname != nullptr &&
        info.dli_fname[0] != '\0') {
        return BaseName(info.dli_fname);
    }
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? BaseName(std::string(path, static_cast<std::size_t>(length))) : "";
}

}  // namespace

TApplication::~TApplication() {
    if (FInstalledExceptionHandler) {
        db::SetApplicationExceptionHandler(nullptr);
    }
}

void TApplication::Initialize() {
    db::SetApplicationExceptionHandler(
        [this](std::exception_ptr error) { HandleException(error); });
    FInstalledExceptionHandler = true;
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
    FLoop.CancelMouseCapture();
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const rtl::EAbort&) {
        return;
    } catch (const std::exception& e) {
        message = rtl::InnermostMessage(e);
    } catch (...) {
        message = UnknownExceptionMessage;
    }
    try {
        FBoxes.ShowErrorBox(FTitle, ErrorBoxText(message));
    } catch (...) {
        // The box itself failed (out of memory, no display): there is nowhere left to report
        // it, and the loop must go on with the next event.
    }
}

void TApplication::ShowStartFailure(std::exception_ptr error, const void* codeAddress) noexcept {
    std::string className;
    std::string message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        className = rtl::ClassNameOf(e);
        message = e.what();
    } catch (...) {
        className = "unknown";
        message = UnknownExceptionMessage;
    }
    try {
        FBoxes.ShowTaskModalErrorBox(
            ApplicationErrorCaption,
            ApplicationErrorText(className, ModuleFileName(codeAddress), codeAddress, message));
    } catch (...) {
        // As in HandleException: a report that cannot be shown is dropped; the exit code still
        // tells the failure.
    }
}

}  // namespace varelum::app
