#pragma once

#include <functional>

#include "PhoneBookExport.h"
#include "PhoneBookWindow.h"

class QRadioButton;

namespace vocaset {

// Phone-book export: every entry of the company as Phone_Book.csv or as a workbook, which is then
// opened with the desktop's application for it.
class FPBExp final : public PhoneBookWindow
{
    Q_OBJECT

public:
    explicit FPBExp(Session& session, QWidget* parent = nullptr);

    // How a written workbook is opened (the desktop's default application); tests replace it.
    void setOpener(std::function<bool(const QString&)> opener) { m_opener = std::move(opener); }

protected:
    PhoneBookSummary runEngine(RunLog& log, const PhoneBookRequest& request) override;
    void stop() override;
    void afterRun(const PhoneBookSummary& summary) override;

private:
    QRadioButton* m_csv;
    QRadioButton* m_sheet;
    PhoneBookExport* m_run = nullptr;
    std::function<bool(const QString&)> m_opener;
};

} // namespace vocaset
