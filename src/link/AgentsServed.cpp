#include "link/AgentsServed.h"

#include <QHash>

namespace kovrin::link::AgentsServed {

namespace {

struct Entry {
    const void* owner = nullptr;
    QString holder;
};

// Every transfer runs on the program's one thread.
QHash<QString, Entry>& served() {
    static QHash<QString, Entry> agents;
    return agents;
}

}  // namespace

QString key(const QString& agentId) {
    const QString t = agentId.trimmed();
    bool digits = !t.isEmpty();
    for (const QChar c : t) {
        digits = digits && c >= u'0' && c <= u'9';
    }
    if (!digits) {
        return t;
    }
    qsizetype first = 0;  // leading zeros go; "000" is agent 0
    while (first + 1 < t.size() && t[first] == u'0') {
        ++first;
    }
    return t.mid(first);
}

QString serve(const QString& agentId, const void* owner, const QString& holder) {
    const QString k = key(agentId);
    const auto it = served().constFind(k);
    if (it != served().cend() && it->owner != owner) {
        return it->holder;
    }
    release(owner);
    served().insert(k, {owner, holder});
    return {};
}

void release(const void* owner) {
    for (auto it = served().begin(); it != served().end();) {
        it = it->owner == owner ? served().erase(it) : std::next(it);
    }
}

QString holderOf(const QString& agentId, const void* except) {
    const auto it = served().constFind(key(agentId));
    return it == served().cend() || it->owner == except ? QString() : it->holder;
}

}  // namespace kovrin::link::AgentsServed
