#pragma once

#include "PhoneBookGeneration.h"
#include "PhoneBookWindow.h"

namespace vocaset {

// Phone-book generation: the company's address book as gs_phonebook.xml in the chosen folder.
class FPBGen final : public PhoneBookWindow
{
    Q_OBJECT

public:
    explicit FPBGen(Session& session, QWidget* parent = nullptr);

protected:
    PhoneBookSummary runEngine(RunLog& log, const PhoneBookRequest& request) override;
    void stop() override;

private:
    PhoneBookGeneration* m_run = nullptr;
};

} // namespace vocaset
