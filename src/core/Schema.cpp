#include "Schema.h"

#include <algorithm>

#include "Database.h"
#include "Dialect.h"

namespace vocaset::Schema {

const QStringList& createStatements()
{
    static const QStringList statements = {
        QStringLiteral("CREATE TABLE SYSTEM_PARAMETERS (SY_CODE nvarchar(50), SY_SUBCODE nvarchar(50), SY_VALUE nvarchar(255) NOT NULL , PRIMARY KEY (SY_CODE, SY_SUBCODE))"),
        QStringLiteral("CREATE TABLE CREATION_FLAGS (FL_CODE nvarchar(1), FL_DESC nvarchar(50) NOT NULL, FL_SYS nvarchar(1) NOT NULL, PRIMARY KEY (FL_CODE))"),
        QStringLiteral("CREATE TABLE LEVELS (LE_CODE nvarchar(1), LE_DESC nvarchar(50) NOT NULL, PRIMARY KEY (LE_CODE))"),
        QStringLiteral("CREATE TABLE RANGES (CO_CODE nvarchar(5), PH_CODE nvarchar(5) NOT NULL, PRIMARY KEY (CO_CODE, PH_CODE))"),
        QStringLiteral("CREATE TABLE TYPES (TY_CODE nvarchar(1), TY_DESC nvarchar(50) NOT NULL , PRIMARY KEY (TY_CODE))"),
        QStringLiteral("CREATE TABLE EQ_TEMP (PA_CODE nvarchar(50), PA_DESC nvarchar(255), PA_VALUE nvarchar(255), LE_CODE nvarchar(1), PRIMARY KEY (PA_CODE))"),
        QStringLiteral("CREATE TABLE COMPANY (CO_CODE nvarchar(5), CO_DESC nvarchar(50) NOT NULL , PRIMARY KEY (CO_CODE))"),
        QStringLiteral("CREATE TABLE EQUIPMENT (EQ_CODE nvarchar(10), EQ_DESC nvarchar(50) NOT NULL , EQ_MODULE nvarchar(20) NOT NULL , PRIMARY KEY (EQ_CODE))"),
        QStringLiteral("CREATE TABLE PHONES (CO_CODE nvarchar(5), PH_CODE nvarchar(5), EQ_CODE nvarchar(10), PH_DESC nvarchar(50) NOT NULL, PH_MAC nvarchar(12) NOT NULL, PRIMARY KEY (CO_CODE, PH_CODE)")
            + QStringLiteral(", CONSTRAINT FK_PHO_EQU FOREIGN KEY (EQ_CODE) REFERENCES EQUIPMENT (EQ_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_PHO_COM FOREIGN KEY (CO_CODE) REFERENCES COMPANY (CO_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_PHO_RAN FOREIGN KEY (CO_CODE, PH_CODE) REFERENCES RANGES (CO_CODE, PH_CODE) ON UPDATE CASCADE")
            + QStringLiteral(")"),
        QStringLiteral("CREATE TABLE EQUIPMENT_PARAMETERS (EQ_CODE nvarchar(10), PA_CODE nvarchar(50), PA_DESC nvarchar(255) NOT NULL, ")
            + QStringLiteral("LE_CODE nvarchar(1) NOT NULL, PA_DEFAULT nvarchar(255) NOT NULL, TY_CODE nvarchar(1) NOT NULL, PA_VALUES nvarchar(255) NOT NULL, PRIMARY KEY (EQ_CODE, PA_CODE)")
            + QStringLiteral(", CONSTRAINT FK_EQUPAR_EQU FOREIGN KEY (EQ_CODE) REFERENCES EQUIPMENT(EQ_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_EQUPAR_LEV FOREIGN KEY (LE_CODE) REFERENCES LEVELS(LE_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_EQUPAR_TYP FOREIGN KEY (TY_CODE) REFERENCES TYPES(TY_CODE) ON UPDATE CASCADE")
            + QStringLiteral(")"),
        QStringLiteral("CREATE TABLE PHONES_PARAMETERS (CO_CODE nvarchar(5), EQ_CODE nvarchar(10), PH_CODE nvarchar(5), PA_CODE nvarchar(50), PA_VALUE nvarchar(255) NOT NULL")
            + QStringLiteral(", PRIMARY KEY (CO_CODE, EQ_CODE, PH_CODE, PA_CODE)")
            + QStringLiteral(", CONSTRAINT FK_PHOPAR_COM FOREIGN KEY (CO_CODE) REFERENCES COMPANY(CO_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_PHOPAR_EQUPAR FOREIGN KEY (EQ_CODE, PA_CODE) REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_PHOPAR_PHO FOREIGN KEY (CO_CODE, PH_CODE) REFERENCES PHONES(CO_CODE, PH_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_PHOPAR_RAN FOREIGN KEY (CO_CODE, PH_CODE) REFERENCES RANGES(CO_CODE, PH_CODE) ON UPDATE CASCADE")
            + QStringLiteral(")"),
        QStringLiteral("CREATE TABLE COMPANY_PARAMETERS (CO_CODE nvarchar(5), EQ_CODE nvarchar(10), PA_CODE nvarchar(50) NOT NULL , PA_VALUE nvarchar(255) NOT NULL , PRIMARY KEY (CO_CODE, EQ_CODE, PA_CODE)")
            + QStringLiteral(", CONSTRAINT FK_COMPAR_EQU FOREIGN KEY (EQ_CODE) REFERENCES EQUIPMENT(EQ_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_COMPAR_COM FOREIGN KEY (CO_CODE) REFERENCES COMPANY(CO_CODE) ON UPDATE CASCADE")
            + QStringLiteral(", CONSTRAINT FK_COMPAR_EQUPAR FOREIGN KEY (EQ_CODE, PA_CODE) REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE")
            + QStringLiteral(")"),
        QStringLiteral("CREATE TABLE PHONE_BOOK (CO_CODE nvarchar(5), BK_NUM nvarchar(50), BK_NAME nvarchar(50) NOT NULL , BK_FLAG nvarchar(1) NOT NULL ")
            + QStringLiteral(", BK_EXTNUM nvarchar(20) NOT NULL ") + QStringLiteral(", BK_FAX nvarchar(20) NOT NULL ")
            + QStringLiteral(", BK_GSM nvarchar(20) NOT NULL ") + QStringLiteral(", BK_MAIL nvarchar(100) NOT NULL ")
            + QStringLiteral(", PRIMARY KEY (CO_CODE, BK_NUM)")
            + QStringLiteral(", CONSTRAINT FK_PHOBOO_CRF FOREIGN KEY (BK_FLAG) REFERENCES CREATION_FLAGS(FL_CODE) ON UPDATE CASCADE")
            + QStringLiteral(")"),
    };
    return statements;
}

const QStringList& copyOrder()
{
    static const QStringList tables = {
        QStringLiteral("SYSTEM_PARAMETERS"), QStringLiteral("CREATION_FLAGS"),      QStringLiteral("LEVELS"),
        QStringLiteral("RANGES"),            QStringLiteral("TYPES"),               QStringLiteral("COMPANY"),
        QStringLiteral("EQUIPMENT"),         QStringLiteral("PHONES"),              QStringLiteral("EQUIPMENT_PARAMETERS"),
        QStringLiteral("PHONES_PARAMETERS"), QStringLiteral("COMPANY_PARAMETERS"), QStringLiteral("PHONE_BOOK"),
    };
    return tables;
}

const QStringList& indexStatements()
{
    // The columns of the foreign keys of PHONES_PARAMETERS to RANGES and PHONES: without it, each
    // range or telephone deleted makes the engine read every telephone's values to check the key.
    static const QStringList statements = {
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_PHOPAR_PHO ON PHONES_PARAMETERS (CO_CODE, PH_CODE)"),
    };
    return statements;
}

namespace {

// The index a statement of indexStatements() makes: CREATE INDEX IF NOT EXISTS name ON ...
QString indexName(const QString& statement)
{
    return statement.section(u' ', 5, 5);
}

} // namespace

bool hasIndex(Database& db, const QString& name)
{
    return !db.execute(Dialect::indexLookup(name, db.engine())).isEmpty();
}

bool indexesInPlace(Database& db)
{
    const QStringList& statements = indexStatements();
    return std::all_of(statements.begin(), statements.end(),
                       [&db](const QString& statement) { return hasIndex(db, indexName(statement)); });
}

QString addMissingIndexes(Database& db)
{
    for (const QString& statement : indexStatements()) {
        if (hasIndex(db, indexName(statement)))
            continue;
        try {
            db.execute(statement);
        } catch (const DbError& e) {
            return QStringLiteral("No index on the telephone of PHONES_PARAMETERS (") + e.text() +
                   QStringLiteral("); deleting ranges and telephones reads every telephone's values");
        }
    }
    return {};
}

} // namespace vocaset::Schema
