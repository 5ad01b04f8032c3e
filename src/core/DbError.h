#pragma once

#include <stdexcept>

#include <QString>

namespace vocaset {

// A statement or connection the engine refused; text() is the engine's own description.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

} // namespace vocaset
