#include "Faults.h"

#include <limits>
#include <optional>
#include <utility>

namespace kovrin::sim {

namespace {

std::optional<int> recordNumber(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok && v >= 0 && v <= 65535 ? std::optional<int>(v) : std::nullopt;
}

// "N:V" with V in [min, max]; "N" alone gives `fallback` when there is one.
std::optional<std::pair<int, int>> recordAndValue(const QString& text, int min, int max,
                                                  std::optional<int> fallback) {
    const QStringList parts = text.split(u':');
    const auto n = recordNumber(parts[0]);
    if (!n || parts.size() > 2 || (parts.size() == 1 && !fallback)) {
        return std::nullopt;
    }
    bool ok = true;
    const int v = parts.size() == 2 ? parts[1].toInt(&ok) : *fallback;
    if (!ok || v < min || v > max) {
        return std::nullopt;
    }
    return std::pair{*n, v};
}

}  // namespace

QString applyFault(Faults& f, const QString& name, const QString& value, const QString& prefix) {
    const auto bad = [&] {
        return QStringLiteral("%1%2: \"%3\" is not valid").arg(prefix, name, value);
    };
    const QMap<QString, QSet<int>*> sets{
        {QStringLiteral("nack-at"), &f.nackAt},
        {QStringLiteral("wrong-number-at"), &f.wrongNumberAt},
        {QStringLiteral("bad-checksum-at"), &f.badChecksumAt},
        {QStringLiteral("clos-at"), &f.closAt},
        {QStringLiteral("back-at"), &f.backAt},
        {QStringLiteral("glue-at"), &f.glueAt},
        {QStringLiteral("twice-at"), &f.twiceAt},
    };
    if (sets.contains(name)) {
        const auto n = recordNumber(value);
        if (!n) {
            return bad();
        }
        sets[name]->insert(*n);
        return {};
    }
    bool ok = false;
    if (name == u"silent-at") {
        // N or N:count
        const auto v = recordAndValue(value, 1, std::numeric_limits<int>::max(), 1);
        if (!v) {
            return bad();
        }
        f.silentAt[v->first] += v->second;
    } else if (name == u"late-at") {
        // N:ms, no default
        const auto v = recordAndValue(value, 1, 600000, std::nullopt);
        if (!v) {
            return bad();
        }
        f.lateAt[v->first] = v->second;
    } else if (name == u"stray-at") {
        // N or N:count
        const auto v = recordAndValue(value, 1, 4096, 3);
        if (!v) {
            return bad();
        }
        f.strayAt[v->first] = v->second;
    } else if (name == u"silent" || name == u"silent-end" || name == u"nack-end") {
        int& count = name == u"silent"       ? f.silentFirst
                     : name == u"silent-end" ? f.silentEnd
                                             : f.nackEnd;
        count = value.toInt(&ok);
        if (!ok || count < 0) {
            return bad();
        }
    } else if (name == u"split") {
        f.splitPieces = value.toInt(&ok);
        if (!ok || f.splitPieces < 1 || f.splitPieces > 137) {
            return bad();
        }
    } else if (name == u"split-delay") {
        f.splitDelayMs = value.toInt(&ok);
        if (!ok || f.splitDelayMs < 0 || f.splitDelayMs > 60000) {
            return bad();
        }
    } else if (name == u"corrupt-rate") {
        f.corruptRate = value.toDouble(&ok);
        if (!ok || f.corruptRate < 0.0 || f.corruptRate > 1.0) {
            return bad();
        }
    } else if (name == u"drop-rate") {
        f.dropRate = value.toDouble(&ok);
        if (!ok || f.dropRate < 0.0 || f.dropRate > 1.0) {
            return bad();
        }
    } else if (name == u"seed") {
        f.seed = value.toUInt(&ok);
        if (!ok) {
            return bad();
        }
    } else {
        return QStringLiteral("unknown fault %1%2").arg(prefix, name);
    }
    return {};
}

QByteArray strayBytes(int count) {
    static const QByteArray pattern("\x00\x7F\x20", 3);
    QByteArray out;
    out.reserve(count);
    while (out.size() < count) {
        out.append(pattern.left(count - out.size()));
    }
    return out;
}

QStringList faultHelp() {
    return {
        QStringLiteral("--nack-at N            answer record N with NACK (once)"),
        QStringLiteral("--wrong-number-at N    answer record N with record number N+1 (once)"),
        QStringLiteral("--silent N             leave the first N frames unanswered"),
        QStringLiteral("--silent-at N[:C]      leave record N unanswered C times (default 1)"),
        QStringLiteral(
            "--late-at N:MS         answer record N MS ms late (once); later answers wait"),
        QStringLiteral("--twice-at N           answer record N twice (once)"),
        QStringLiteral(
            "--stray-at N[:C]       C stray bytes (default 3) after the answer to N (once)"),
        QStringLiteral(
            "--silent-end C         leave the first C end frames of a download unanswered"),
        QStringLiteral(
            "--nack-end C           answer the first C end frames with NACK (after those)"),
        QStringLiteral("--bad-checksum-at N    answer record N with a wrong checksum (once)"),
        QStringLiteral("--split P              write every reply in P pieces"),
        QStringLiteral("--split-delay MS       pause between the pieces (default 20)"),
        QStringLiteral("--glue-at N            hold the reply to record N back and write it "
                       "together with the next reply"),
        QStringLiteral("--clos-at N            answer record N with CLOS (once)"),
        QStringLiteral("--back-at N            answer record N with BACK (once)"),
        QStringLiteral("--corrupt-rate R       replace each reply byte with chance R (0-1)"),
        QStringLiteral("--drop-rate R          lose each reply byte with chance R (0-1)"),
        QStringLiteral("--seed S               seed of the corruption and losses (default 1)"),
    };
}

}  // namespace kovrin::sim
