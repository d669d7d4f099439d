#pragma once
// The failure classes shared by every folder. Each carries its message text;
// callers that show a failure show Message() as it stands.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
    virtual const char* ClassName() const { return "Exception"; }
};

#define CALDRIS_EXCEPTION(Name, Base)                                        \
    class Name : public Base {                                               \
    public:                                                                  \
        using Base::Base;                                                    \
        const char* ClassName() const override { return #Name; }             \
    }

// Image library failures; the texts are fixed by the image model.
CALDRIS_EXCEPTION(EKerbelinError, Exception);
// A quiet failure: reporting layers show nothing for it.
CALDRIS_EXCEPTION(EAbort, Exception);
// Stream failures.
CALDRIS_EXCEPTION(EStreamError, Exception);
CALDRIS_EXCEPTION(EFOpenError, EStreamError);
CALDRIS_EXCEPTION(EFCreateError, EStreamError);
CALDRIS_EXCEPTION(EReadError, EStreamError);
CALDRIS_EXCEPTION(EWriteError, EStreamError);
// The toolkit's invalid-graphic error.
CALDRIS_EXCEPTION(EInvalidGraphic, Exception);
// The toolkit's "cannot assign" conversion error.
CALDRIS_EXCEPTION(EConvertError, Exception);
