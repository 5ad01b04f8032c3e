#pragma once

#include "PhoneBookImport.h"
#include "PhoneBookWindow.h"

namespace vocaset {

// Phone-book import: brings the company's entries in line with confUsers.ini in the chosen folder.
class FPBImp final : public PhoneBookWindow
{
    Q_OBJECT

public:
    explicit FPBImp(Session& session, QWidget* parent = nullptr);

protected:
    PhoneBookSummary runEngine(RunLog& log, const PhoneBookRequest& request) override;
    void stop() override;

private:
    PhoneBookImport* m_run = nullptr;
};

} // namespace vocaset
