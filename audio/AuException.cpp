#include "audio/AuException.h"

EAuException::EAuException(const QString& message)
    : std::runtime_error(message.toStdString()), FMessage(message)
{
}

EAuException::EAuException(const char* message)
    : EAuException(QString::fromUtf8(message))
{
}

QString ExceptionText(const std::exception& e)
{
    if (auto au = dynamic_cast<const EAuException*>(&e))
        return au->Message();
    return QString::fromUtf8(e.what());
}
