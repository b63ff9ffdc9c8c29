#include "Platform/Pasteboard.h"

#include <QStringDecoder>

Pasteboard::~Pasteboard() = default;

QStringList Pasteboard::types()
{
    QStringList all;
    const auto items = itemTypes(QDeadlineTimer(readTimeout));
    if (!items)
        return all;
    for (const QStringList& item : *items) {
        for (const QString& type : item) {
            if (!all.contains(type))
                all.append(type);
        }
    }
    return all;
}

std::optional<QByteArray> Pasteboard::data(const QString& type)
{
    const QDeadlineTimer deadline(readTimeout);
    const auto items = itemTypes(deadline);
    if (!items)
        return std::nullopt;
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (!items->at(i).contains(type))
            continue;
        Read read = itemData(i, type, deadline);
        if (read.status == ReadStatus::ok)
            return std::move(read.data);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> Pasteboard::string(const QString& type)
{
    const auto bytes = data(type);
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
