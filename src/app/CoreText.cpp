#include "app/CoreText.h"

#include <QFile>
#include <QStringDecoder>

namespace vantor::app {

std::string CoreText::path(const QString& fileName)
{
#ifdef Q_OS_WIN
    return fileName.toUtf8().toStdString();
#else
    return QFile::encodeName(fileName).toStdString();
#endif
}

QString CoreText::message(const std::string& text)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError())
        return decoded;
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace vantor::app
