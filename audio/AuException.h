#pragma once
// The error class of the stream components: a message text and nothing else.
#include <QString>
#include <stdexcept>

class EAuException : public std::runtime_error
{
public:
    explicit EAuException(const QString& message);
    explicit EAuException(const char* message);

    const QString& Message() const { return FMessage; }

private:
    QString FMessage;
};

// Text of an exception caught by a catch-all guard (workers, Init).
QString ExceptionText(const std::exception& e);
