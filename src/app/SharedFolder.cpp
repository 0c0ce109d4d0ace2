#include "app/SharedFolder.h"

#include "core/Messages.h"
#include "core/OperatorLog.h"
#include "core/ProgramFolder.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace kovrin {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString groupName(gid_t gid) {
    const struct group* gr = ::getgrgid(gid);
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
}

// The account's groups as its next login will have them: getgrouplist() asks for more room by
// raising the count.
std::vector<gid_t> accountGroups(const QByteArray& account, gid_t primary) {
    std::vector<gid_t> member;
    for (int room = 32; !account.isEmpty();) {
        member.resize(room);
        int count = room;
        if (::getgrouplist(account.constData(), primary, member.data(), &count) >= 0) {
            member.resize(count);
            return member;
        }
        if (count <= room) {
            break;
        }
        room = count;
    }
    return {};
}

bool contains(const std::vector<gid_t>& groups, gid_t g) {
    return std::find(groups.begin(), groups.end(), g) != groups.end();
}

QString joined(const QStringList& names) {
    if (names.size() < 2) {
        return names.value(0);
    }
    return QStringList(names.mid(0, names.size() - 1)).join(QStringLiteral(", ")) +
           QStringLiteral(" and ") + names.last();
}

}  // namespace

QString prepareProgramFolder(const QString& path, const QString& what) {
    const QByteArray name = QFile::encodeName(path);
    std::error_code error;
    std::filesystem::create_directories(name.toStdString(), error);  // nothing when it exists
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return QStringLiteral("The %1 %2 cannot be created: %3.")
            .arg(what, path, error ? QString::fromStdString(error.message()) : systemReason(errno));
    }
    if (!S_ISDIR(st.st_mode)) {
        return QStringLiteral("The %1 %2 cannot be used: it is not a folder.").arg(what, path);
    }
    if (::access(name.constData(), R_OK | W_OK | X_OK) != 0) {
        return QStringLiteral(
                   "The %1 %2 is read-only (%3).\nThe program cannot start. The program needs "
                   "to write in this folder (its database, logs and copies): make it writable, "
                   "then start again.")
            .arg(what, QDir::toNativeSeparators(path), systemReason(errno));
    }
    return {};
}

QString sharingGroup(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        (st.st_mode & S_IWGRP) == 0 || st.st_gid == 0) {
        return {};
    }
    // A folder writable by its owner's own group (user private groups) is private to it.
    if (const struct passwd* owner = ::getpwuid(st.st_uid); owner && owner->pw_gid == st.st_gid) {
        return {};
    }
    return groupName(st.st_gid);
}

QString rootRefusal(const QStringList& folders) {
    if (::geteuid() != 0) {
        return {};
    }
    for (const QString& folder : folders) {
        const QString group = sharingGroup(folder);
        if (group.isEmpty()) {
            continue;
        }
        const QString groups = group == QLatin1String(kPortGroup)
                                   ? group
                                   : group + QLatin1Char(',') + QLatin1String(kPortGroup);
        return QStringLiteral(
                   "The program must be run by an operator, not by root: the folder %1 is shared "
                   "by the operators of this PC through the group %2, and what root made there "
                   "would shut them out.\nStart the program as your own user. An operator is a "
                   "member of the groups of the program's operators:\n\n    sudo usermod -aG "
                   "%3 <user>\n\nthen log out and log in again.")
            .arg(QDir::toNativeSeparators(folder), group, groups);
    }
    return {};
}

GroupFacts groupFacts(const QString& folder) {
    GroupFacts f;
    f.folder = folder;
    const uid_t uid = ::geteuid();
    f.superUser = uid == 0;
    const struct passwd* pw = ::getpwuid(uid);
    f.user = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
    const QByteArray account = pw ? QByteArray(pw->pw_name) : QByteArray();
    const gid_t primary = pw ? pw->pw_gid : ::getegid();
    f.folderGroup = sharingGroup(folder);
    if (f.folderGroup.isEmpty()) {
        return f;
    }

    std::vector<gid_t> running(std::max(::getgroups(0, nullptr), 0) + 1);
    const int n = ::getgroups(int(running.size()), running.data());
    running.resize(std::max(n, 0));
    running.push_back(::getegid());
    const std::vector<gid_t> member = accountGroups(account, primary);

    QStringList names{f.folderGroup};
    if (f.folderGroup != QLatin1String(kPortGroup)) {
        names << QString::fromLatin1(kPortGroup);
    }
    for (const QString& name : names) {
        const struct group* gr = ::getgrnam(QFile::encodeName(name).constData());
        f.groups << name;
        f.inProcess << (gr && contains(running, gr->gr_gid));
        f.inAccount << (gr && contains(member, gr->gr_gid));
    }
    return f;
}

QString groupAdvice(const GroupFacts& f) {
    if (f.superUser || f.folderGroup.isEmpty()) {
        return {};
    }
    QStringList lacking;
    QStringList notMember;
    QStringList why;
    for (int i = 0; i < f.groups.size(); ++i) {
        if (f.inProcess.value(i)) {
            continue;
        }
        lacking << f.groups[i];
        if (!f.inAccount.value(i)) {
            notMember << f.groups[i];
        }
        why << (f.groups[i] == f.folderGroup
                    ? QStringLiteral("the program folder %1 belongs to the group %2, so the "
                                     "program cannot keep its data there")
                          .arg(f.folder, f.groups[i])
                    : QStringLiteral("the serial ports belong to the group %1, so the program "
                                     "cannot talk to the hand-held terminal")
                          .arg(f.groups[i]));
    }
    if (lacking.isEmpty()) {
        return {};
    }
    const QString command =
        QStringLiteral("    sudo usermod -aG %1 %2").arg(f.groups.join(QLatin1Char(',')), f.user);
    if (notMember.isEmpty()) {
        return QStringLiteral(
                   "You (user %1) were added to the group %2 after you logged in, so the "
                   "program cannot use it yet: %3.\nLog out and log in again, then start the "
                   "program.")
            .arg(f.user, joined(lacking), why.join(QStringLiteral("; ")));
    }
    return QStringLiteral(
               "You (user %1) are not in the group %2: %3.\nAsk the administrator of this PC to "
               "add you to the groups of the program's operators:\n\n%4\n\nthen log out and log "
               "in again.")
        .arg(f.user, joined(notMember), why.join(QStringLiteral("; ")), command);
}

void showGroupAdvice(const ProgramFolder& folder, const QString& advice, MsgIcon icon) {
    OperatorLog log(folder.operatorLogPath());
    OperatorLog* const before = Messages::operatorLog();
    Messages::setOperatorLog(&log);
    Messages::show({QStringLiteral("frmMain"), advice, icon, MsgButtons::Ok, QString()});
    Messages::setOperatorLog(before);
}

void useGroupPermissions(const ProgramFolder& folder) {
    const mode_t mask = ::umask(0);
    if (!sharingGroup(folder.path()).isEmpty()) {
        ::umask(S_IRWXO);
    } else {
        ::umask(mask | S_IRWXO);
    }
}

}  // namespace kovrin
