#pragma once

#include "ConfigWriter.h"

namespace vocaset {

// The F1000 parameter file: one "code=value" line per parameter, nothing escaped.
class F1000Writer final : public ConfigWriter
{
public:
    FileNames names(const PhoneInfo& phone, const LevelChoice& levels) const override;
    std::optional<QByteArray> config(const PhoneInfo& phone, const QList<ParamRow>& rows, Cp1252Sink& sink,
                                     QString* refusal) const override;
    QByteArray source(const QList<ParamRow>& rows, Cp1252Sink& sink) const override;
};

} // namespace vocaset
