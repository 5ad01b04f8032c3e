#include "SchemaUpgrade.h"

#include "Sql.h"

namespace vocaset {

const QList<UpgradeStep>& upgradeSteps()
{
    static const QList<UpgradeStep> steps = {
        {QStringLiteral("010110"),
         {
             QStringLiteral("ALTER TABLE EQUIPMENT ADD EQ_MODULE NVARCHAR(20) NOT NULL DEFAULT ''"),
             QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'GRANDSTREAM' WHERE EQ_CODE = 'GXP2000'"),
             QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'PAP2' WHERE EQ_CODE = 'PAP2'"),
             QStringLiteral("UPDATE EQUIPMENT SET EQ_MODULE = 'NONE' WHERE EQ_MODULE = '' OR EQ_MODULE IS NULL"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$MODULES', 'GRANDSTREAM', '')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$MODULES', 'PAP2', '')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$MODULES', 'NONE', '')"),
         }},
        {QStringLiteral("010120"),
         {
             QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_CODE = '$$' + SY_CODE WHERE SY_SUBCODE LIKE 'L%' AND SY_CODE NOT LIKE '$$%'"),
         }},
        {QStringLiteral("010130"),
         {
             QStringLiteral("ALTER TABLE PHONE_BOOK ADD BK_EXTNUM NVARCHAR(20) NOT NULL DEFAULT '', BK_FAX NVARCHAR(20) NOT NULL DEFAULT '', BK_GSM NVARCHAR(20) NOT NULL DEFAULT '', BK_MAIL NVARCHAR(100) NOT NULL DEFAULT ''"),
             QStringLiteral("UPDATE PHONE_BOOK SET BK_EXTNUM = '', BK_FAX = '', BK_GSM = '', BK_MAIL = ''"),
             QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('W', 'Work In Progress', 'Y')"),
             QStringLiteral("INSERT INTO CREATION_FLAGS VALUES('D', 'Deleted', 'Y')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHC', '*', '*')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('AUTHM', '*', '*')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$SUPERUSER', 'USERNAME', '*')"),
             QStringLiteral("ALTER TABLE PHONES_PARAMETERS DROP CONSTRAINT FK_PHOPAR_EQUPAR "),
             QStringLiteral("ALTER TABLE PHONES_PARAMETERS ADD CONSTRAINT FK_PHOPAR_EQUPAR FOREIGN KEY (EQ_CODE, PA_CODE) REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE  "),
             QStringLiteral("ALTER TABLE COMPANY_PARAMETERS DROP CONSTRAINT FK_COMPAR_EQUPAR"),
             QStringLiteral("ALTER TABLE COMPANY_PARAMETERS ADD CONSTRAINT FK_COMPAR_EQUPAR FOREIGN KEY (EQ_CODE, PA_CODE) REFERENCES EQUIPMENT_PARAMETERS(EQ_CODE, PA_CODE) ON UPDATE CASCADE  "),
             QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_CODE = 'Static_IP' WHERE PA_CODE = 'Static_Ip' AND EQ_CODE = 'PAP2'"),
             QStringLiteral("UPDATE EQUIPMENT_PARAMETERS SET PA_CODE = 'User_ID_1_' WHERE PA_CODE = 'User_Id_1_' AND EQ_CODE = 'PAP2'"),
         }},
        {QStringLiteral("010140"),
         {
             QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = 'Static_IP' WHERE SY_VALUE = 'Static_Ip' AND SY_CODE LIKE '%PAP2%'"),
             QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '%GXP2000' AND SY_SUBCODE = '$$EPWD'"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP2000', '$$EPWD', '2')"),
             QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '%GXP2000' AND SY_SUBCODE LIKE '$$IP%'"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP2000', '$$IP1', '9')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP2000', '$$IP2', '10')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP2000', '$$IP3', '11')"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$GXP2000', '$$IP4', '12')"),
             QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '%PAP2' AND SY_SUBCODE = '$$EPWD'"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP2', '$$EPWD', 'Admin_Passwd')"),
             QStringLiteral("DELETE FROM SYSTEM_PARAMETERS WHERE SY_CODE LIKE '%PAP2' AND SY_SUBCODE LIKE '$$IP%'"),
             QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$PAP2', '$$IP1', 'Static_IP')"),
         }},
    };
    return steps;
}

UpgradeReport upgradeSchema(Session& s)
{
    UpgradeReport report;
    const QString select = QStringLiteral("SELECT SY_VALUE FROM SYSTEM_PARAMETERS WHERE SY_CODE = '$$BASEVER'");
    // A database at the program's version is only read: a command that reads neither waits behind
    // another operator's transaction nor moves the change count every server keeps.
    Recordset rs = s.db.execute(select);
    if (!rs.eof() && rs.text(0) == s.programVersion) {
        report.storedVersion = rs.text(0);
        return report;
    }
    Transaction tx(s.db);
    s.db.lockName(QStringLiteral("SCHEMA UPGRADE"));
    // Read again under the lock: a second upgrade started meanwhile waits here, then finds the
    // version the first one stamped.
    rs = s.db.execute(select);
    if (rs.eof()) {
        s.db.execute(QStringLiteral("INSERT INTO SYSTEM_PARAMETERS VALUES('$$BASEVER', '$', '000000')"));
        rs = s.db.execute(select);
    }
    report.storedVersion = rs.text(0);
    if (report.storedVersion == s.programVersion)
        return report;
    s.op.showMessage(QStringLiteral("Update From ") + report.storedVersion + QStringLiteral(" To ") + s.programVersion);
    report.noticeShown = true;
    // Versions are six digits each, so text order is numeric order.
    for (const UpgradeStep& step : upgradeSteps()) {
        if (report.storedVersion >= step.bound)
            continue;
        for (const QString& statement : step.statements)
            s.db.execute(statement);
        report.stepsRun.append(step.bound);
        s.db.reached(u"upgrade.step");
    }
    s.db.execute(QStringLiteral("UPDATE SYSTEM_PARAMETERS SET SY_VALUE = '") + sqlText(s.programVersion) +
                 QStringLiteral("' WHERE SY_CODE = '$$BASEVER' AND SY_SUBCODE = '$'"));
    tx.commit();
    return report;
}

} // namespace vocaset
