#include "Faults.h"

#include <optional>

namespace kovrin::sim {

namespace {

std::optional<int> recordNumber(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok && v >= 0 && v <= 65535 ? std::optional<int>(v) : std::nullopt;
}

}  // namespace

QString applyFault(Faults& f, const QString& name, const QString& value) {
    const auto bad = [&] { return QStringLiteral("--%1: \"%2\" is not valid").arg(name, value); };
    const QMap<QString, QSet<int>*> sets{
        {QStringLiteral("nack-at"), &f.nackAt},
        {QStringLiteral("wrong-number-at"), &f.wrongNumberAt},
        {QStringLiteral("bad-checksum-at"), &f.badChecksumAt},
        {QStringLiteral("clos-at"), &f.closAt},
        {QStringLiteral("back-at"), &f.backAt},
        {QStringLiteral("glue-at"), &f.glueAt},
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
        const QStringList parts = value.split(u':');
        const auto n = recordNumber(parts[0]);
        int count = 1;
        if (parts.size() == 2) {
            count = parts[1].toInt(&ok);
        }
        if (!n || parts.size() > 2 || (parts.size() == 2 && !ok) || count < 1) {
            return bad();
        }
        f.silentAt[*n] += count;
    } else if (name == u"silent") {
        f.silentFirst = value.toInt(&ok);
        if (!ok || f.silentFirst < 0) {
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
        return QStringLiteral("unknown fault --%1").arg(name);
    }
    return {};
}

QStringList faultHelp() {
    return {
        QStringLiteral("--nack-at N            answer record N with NACK (once)"),
        QStringLiteral("--wrong-number-at N    answer record N with record number N+1 (once)"),
        QStringLiteral("--silent N             leave the first N frames unanswered"),
        QStringLiteral("--silent-at N[:C]      leave record N unanswered C times (default 1)"),
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
