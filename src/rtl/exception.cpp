// The framework's exception classes: out-of-line members and the helpers that look into
// nested exception chains for the shell's error display.
#include "rtl/exception.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace varelum::rtl {

Exception::Exception(std::string message) : FMessage(std::move(message)) {}

// Out of line so that the vtable and type information live in one translation unit; catch
// clauses in every module then agree on the type.
Exception::~Exception() = default;

void Abort() {
    throw EAbort("Operation aborted");
}

namespace {

std::string ExternalExceptionMessage(std::uint32_t code) {
    char text[40];
    std::snprintf(text, sizeof text, "External exception %X", static_cast<unsigned>(code));
    return text;
}

}  // namespace

EExternalException::EExternalException(std::uint32_t exceptionCode)
    : Exception(ExternalExceptionMessage(exceptionCode)), FExceptionCode(exceptionCode) {}

std::string InnermostMessage(const std::exception& error) {
    std::string message = error.what();
    const auto* nested = dynamic_cast<const std::nested_exception*>(&error);
    if (nested == nullptr || nested->nested_ptr() == nullptr) {
        return message;
    }
    std::string inner = InnermostMessage(nested->nested_ptr());
    return inner.empty() ? message : inner;
}

std::string InnermostMessage(std::exception_ptr error) {
    if (error == nullptr) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return InnermostMessage(e);
    } catch (...) {
        // Not a std::exception: it carries no message, so the caller keeps the outer one.
        return {};
    }
}

std::string ClassNameOf(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error)) {
        return own->ClassName();
    }
    const char* mangled = typeid(error).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

}  // namespace varelum::rtl
