// The framework's exception classes: the base Exception with its message and class name, and
// the families the rest of Varelum raises and catches (the silent abort, database, range,
// conversion and external errors). Every module derives its own errors from these, so that the
// application shell can show any of them by message and recognise the silent abort by type.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace varelum::rtl {

// The root of the framework's exceptions: a message text and a class name.
// what() gives the message (UTF-8), so code that only knows std::exception shows it too.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message);
    ~Exception() override;

    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;

    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }

    // The class name as the shell's top-level error box names it; every derived class that
    // can reach the user overrides it ("EConvertError", "EADSDatabaseError", ...).
    virtual const char* ClassName() const noexcept { return "Exception"; }

    const char* what() const noexcept override { return FMessage.c_str(); }

  private:
    std::string FMessage;
};

// The silent abort: ends the current operation without any error box. The shell's guard
// recognises it by type and shows nothing.
class EAbort : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EAbort"; }
};

// Throws EAbort with the framework's standard text "Operation aborted".
[[noreturn]] void Abort();

// Errors of the dataset framework and of the data-access layer built on it.
class EDatabaseError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EDatabaseError"; }
};

// A value outside the range its target can hold (a negative count, an index past the end).
class ERangeError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "ERangeError"; }
};

// A text or value that cannot be converted to the requested type.
class EConvertError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EConvertError"; }
};

// A Variant asked for a conversion or operation its current type does not allow.
class EVariantError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EVariantError"; }
};

// A call made in a state that does not allow it (for example a list index on an empty list
// or a component inserted into two owners).
class EInvalidOperation : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EInvalidOperation"; }
};

// A failure outside the program's own code, identified by a 32-bit code: the message is
// "External exception " followed by the code in upper-case hexadecimal ("External exception
// C0FB007E" when the engine library cannot be loaded).
class EExternalException : public Exception {
  public:
    explicit EExternalException(std::uint32_t exceptionCode);
    std::uint32_t ExceptionCode() const noexcept { return FExceptionCode; }
    const char* ClassName() const noexcept override { return "EExternalException"; }

  private:
    std::uint32_t FExceptionCode;
};

// The message to show for an exception: for a chain built with std::throw_with_nested, the
// message of the innermost exception in the chain that has a non-empty one; otherwise the
// exception's own message (what()). An exception that is not a std::exception has no
// message and yields an empty text.
std::string InnermostMessage(const std::exception& error);
std::string InnermostMessage(std::exception_ptr error);

// The class name to show for an exception: ClassName() for the framework's exceptions, the
// demangled C++ type name for any other std::exception.
std::string ClassNameOf(const std::exception& error);

}  // namespace varelum::rtl
