#pragma once

#include <QString>

namespace kovrin {

// The two revisions built from these sources. Revision 2.0 is for terminals whose older
// firmware acknowledges without a reliable record number; it differs only in its download.
enum class Revision { V2_0, V2_1 };

inline QString versionText(Revision r) {
    return r == Revision::V2_0 ? QStringLiteral("Version 2.0 Tamsel")
                               : QStringLiteral("Version 2.1 Tamsel");
}

}  // namespace kovrin
