#pragma once

#include <QString>

namespace kovrin {

// The in-memory copy of the settings row of table Path. Plain text copies of the
// stored fields: nothing is converted or validated when they are loaded.
struct AppSettings {
    QString BankName;
    QString BranchName;
    QString CommPort;      // "1" to "10"
    QString FontSize;      // "0" Small, "1" Big, "-1" when a first save had no size chosen
    QString BankInfoPath;  // folder of the files exchanged with the bank's core software
    QString ReportPath;    // folder for reports

    bool operator==(const AppSettings& o) const {
        return BankName == o.BankName && BranchName == o.BranchName && CommPort == o.CommPort &&
               FontSize == o.FontSize && BankInfoPath == o.BankInfoPath &&
               ReportPath == o.ReportPath;
    }
};

}  // namespace kovrin
