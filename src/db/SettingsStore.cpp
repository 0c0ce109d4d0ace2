#include "db/SettingsStore.h"

#include "db/SingleRow.h"

#include <tuple>

namespace kovrin {

namespace {
const QString kTable = QStringLiteral("Path");

// "Name 'old' -> 'new'" for each setting that a save changed.
QStringList differences(const std::optional<AppSettings>& before, const AppSettings& after) {
    const AppSettings old = before.value_or(AppSettings{});
    QStringList out;
    const QList<std::tuple<const char*, QString, QString>> fields = {
        {"BankName", old.BankName, after.BankName},
        {"BranchName", old.BranchName, after.BranchName},
        {"Comm Port", old.CommPort, after.CommPort},
        {"FontSize", old.FontSize, after.FontSize},
        {"BankInfoPath", old.BankInfoPath, after.BankInfoPath},
        {"ReportPath", old.ReportPath, after.ReportPath}};
    for (const auto& [name, was, now] : fields) {
        if (was != now) {
            out << QStringLiteral("%1 '%2' -> '%3'").arg(QLatin1String(name), was, now);
        }
    }
    return out;
}
}  // namespace

std::optional<AppSettings> SettingsStore::load(DbStatus* status) {
    const auto row = readSingleRow(m_db, kTable, status);
    if (!row) {
        return std::nullopt;
    }
    AppSettings s;
    s.BankName = fieldText(*row, QStringLiteral("BankName"));
    s.BranchName = fieldText(*row, QStringLiteral("BranchName"));
    s.FontSize = fieldText(*row, QStringLiteral("fontsize"));
    s.BankInfoPath = fieldText(*row, QStringLiteral("BankInfoPath"));
    s.ReportPath = fieldText(*row, QStringLiteral("ReportPath"));
    s.CommPort = fieldText(*row, QStringLiteral("Comm Port"));
    return s;
}

DbStatus SettingsStore::saveConfiguration(const ConfigurationInput& input, AppSettings& settings,
                                          QStringList* changes) {
    DbStatus st;
    const auto before = load(&st);
    if (!st) {
        return st;
    }
    ColumnValues cols;
    cols << qMakePair(QStringLiteral("BankName"), input.bankName.trimmed());
    if (input.commPort) {
        cols << qMakePair(QStringLiteral("Comm Port"), input.commPort->trimmed());
    }
    cols << qMakePair(QStringLiteral("BranchName"), input.branchName.trimmed());
    if (!before) {
        cols << qMakePair(QStringLiteral("FontSize"), QString::number(input.fontIndex));
    } else {
        const QString f = input.fontText.trimmed();
        if (f == QLatin1String("Big")) {
            cols << qMakePair(QStringLiteral("FontSize"), QStringLiteral("1"));
        } else if (f == QLatin1String("Small")) {
            cols << qMakePair(QStringLiteral("FontSize"), QStringLiteral("0"));
        }
    }
    if (DbStatus s = writeSingleRow(m_db, kTable, cols); !s) {
        return s;
    }
    const auto after = load(&st);
    if (!st) {
        return st;
    }
    if (after && changes) {
        *changes = differences(before, *after);
    }
    if (after) {
        settings.BankName = after->BankName;
        settings.CommPort = after->CommPort;
        settings.BranchName = after->BranchName;
        settings.FontSize = after->FontSize;
    }
    return {};
}

DbStatus SettingsStore::saveFolder(FolderKind kind, const QString& folder, AppSettings& settings,
                                   QStringList* changes) {
    DbStatus before;
    const auto old = load(&before);
    if (!before) {
        return before;
    }
    const QString column = kind == FolderKind::BankInformation ? QStringLiteral("BankInfoPath")
                                                               : QStringLiteral("ReportPath");
    if (DbStatus s = writeSingleRow(m_db, kTable, {qMakePair(column, folder)}); !s) {
        return s;
    }
    DbStatus st;
    const auto after = load(&st);
    if (!st) {
        return st;
    }
    if (after && changes) {
        *changes = differences(old, *after);
    }
    if (after) {
        if (kind == FolderKind::BankInformation) {
            settings.BankInfoPath = after->BankInfoPath;
        } else {
            settings.ReportPath = after->ReportPath;
        }
    }
    return {};
}

}  // namespace kovrin
