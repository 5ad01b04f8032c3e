#pragma once

#include "ConfigWriter.h"

namespace vocaset {

// The PAP2 flat profile: one element per parameter, named by its code, inside <flat-profile>.
class Pap2Writer final : public ConfigWriter
{
public:
    FileNames names(const PhoneInfo& phone, const LevelChoice& levels) const override;
    std::optional<QByteArray> config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                     QString* refusal) const override;
    QByteArray source(const QList<ParamRow>& rows, Cp1252Sink& sink) const override;
};

} // namespace vocaset
