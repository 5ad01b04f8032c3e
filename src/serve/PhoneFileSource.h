#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "Database.h"
#include "ProvisioningNetworks.h"
#include "ProvisioningServer.h"

namespace vocaset {

struct OwnValue;
struct PhoneInfo;

// What a requested file name says: the writer module whose file it is and the MAC it names (upper
// case). "cfg" + MAC for GRANDSTREAM, MAC + ".txt" for PAP2, "ut" + MAC + ".ini" for F1000, as the
// generation names a telephone's file; the MAC's digits may come in either case.
struct ProvisioningName
{
    QString module;
    QString mac;
    QString model{}; // a template model's name: the model whose pattern it is
};
std::optional<ProvisioningName> parseProvisioningName(const QString& fileName);
// The name a telephone of the module fetches its file by; nothing for a module without one.
std::optional<QString> provisioningFileName(const QString& module, const QString& mac);

// The settings row that puts a company's files behind Digest authentication: SY_CODE is the company,
// SY_VALUE the password, and the user name is the telephone's MAC in upper case.
inline constexpr char kProvAuth[] = "$$PROVAUTH";


// Serves telephones their configuration files from the database, built on each request exactly as
// the generation writes them, so a value changed in the database is served on the next request. One
// per server thread: it keeps its own connection (opened on first use, opened again after a lost
// one or when the SQLite file was replaced) and its prepared statements. Each statement gives up
// after boundMs.
//
// What is the same for every telephone of a company and model (catalogue, writer module, equipment
// and company values, default levels, passwords in use, messages) is kept between requests, as long
// as the database's change count, read with the telephone's row, stays the same: a request then
// sends one statement, for the telephone's row with its own values; behind a password the values
// come with it only when the database finds that the Digest answer proves the password.
//
// While any company has a $$PROVAUTH row, every name a telephone could fetch is challenged, unless
// it is the file of a telephone whose company has none: a MAC without a telephone, or asked by
// another model's name, is refused exactly as a wrong password is.
class PhoneFileSource final : public FileSource
{
public:
    PhoneFileSource(QString connectionString, QString language, int boundMs);
    // On a connection of the caller's, never opened again here: a run that reads one snapshot (the
    // fleet survey) has every file built from it.
    PhoneFileSource(Database& db, QString language);
    ~PhoneFileSource() override;
    Q_DISABLE_COPY_MOVE(PhoneFileSource)

    // The name may come with the folder it was asked in ("ALPIN/directory.xml"), which names the
    // company of an address book; a telephone's file is found by the name alone.
    FileAnswer answer(const QString& fileName, Credentials& credentials) override;
    // The look-up every request makes, for a MAC no telephone has.
    QString health() override;
    bool takesFolder() const override { return true; }
    // The name a telephone of the model fetches its file by: the built-in writer's, or the one its
    // template's pattern makes; nothing for a model without one. Refused statements throw DbError.
    std::optional<QString> fileNameOf(const QString& model, const QString& module, const QString& mac);
    // The file answer(fileName, a caller that knows the telephone) sends a telephone whose row and own
    // values the caller has read already, made without a statement: for a survey of many
    // telephones. Nothing when the name is not the telephone's (answer() then tells). The caller
    // makes sure no other telephone has the MAC.
    std::optional<FileAnswer> knownFile(const PhoneInfo& phone, const QString& module, const QString& fileName,
                                        const QList<OwnValue>& own);
    // Whether files made are kept to be sent again (the default): a caller that asks for each file
    // once, as the fleet's survey does, keeps none.
    void keepAnswers(bool keep) { m_keepAnswers = keep; }

    // Makes the look-up by MAC an index search instead of a scan of every telephone: an index on the
    // upper-case MAC, created if missing. Returns lines for the log for what could not be done (a
    // read-only account, say); the server works either way.
    // On a server it also sets up the change count the sources read (see Dialect::changeCounting).
    static QStringList prepareDatabase(Database& db);

private:
    Database& database();
    // The look-up by MAC, with the change count where the database keeps one. Outside a snapshot: a
    // count that cannot be read is a refused statement.
    void prepareStatements(Database& db);
    // A request reads one state of the database, as a run does (see answer()).
    FileAnswer inOneState(bool severalStatements, const std::function<FileAnswer()>& answerIt);
    FileAnswer lookUp(const ProvisioningName& name, Credentials& credentials, const QString& fileName);
    // The rest of a request for one telephone's file once it is known to be served: its levels, its
    // file made (or the one kept) and the answer's status.
    FileAnswer madeFile(FileAnswer answer, const PhoneInfo& phone, const ProvisioningName& name,
                        const QList<OwnValue>& own, bool behindPassword);
    // A name of a template model's: its telephone's file, or a company's address book in the folder.
    FileAnswer answerTemplateName(const QString& folder, const QString& fileName, Credentials& credentials);
    struct TemplateName;
    // The template models' names as the kept rows have them; after a while without a match they are
    // read again when the database changed, so that a template just saved is served.
    const QList<TemplateName>& templateNames(Database& db, bool fresh);
    std::optional<ProvisioningName> templateFile(const QString& fileName);
    // What is kept, made anew when the database's change count moved (or is not kept).
    void keep(Database& db, const QString& changes);
    // The database's change count now, as findByMac reads it; null where none is kept.
    QString changeCount(Database& db) const;

    // The SQLite file's identity when it was opened: a file moved over it is a new database.
    bool replaced() const;

    QString m_connection;
    QString m_language;
    int m_boundMs;
    QString m_file; // SQLite only
    quint64 m_device = 0;
    quint64 m_inode = 0;
    std::unique_ptr<Database> m_db;
    Database* m_shared = nullptr; // the caller's connection, when given one
    QString m_count;              // the change count's expression, or NULL where the database keeps none
    QString m_findByMac;          // with the change count

    struct Kept;
    std::unique_ptr<Kept> m_kept;
    QString m_changes; // the change count m_kept was read at
    bool m_keepAnswers = true;
    qint64 m_namesCheckedMs = 0; // when a name no template has last made the source look for new ones
};

} // namespace vocaset
