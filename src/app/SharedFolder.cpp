#include "app/SharedFolder.h"

#include "core/Messages.h"
#include "core/OperatorLog.h"
#include "core/ProgramFolder.h"
#include "db/Database.h"

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

const char kGroup[] = "dialout";

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool folderIsSetGroupId(const QString& folder, struct stat* st) {
    return ::stat(QFile::encodeName(folder).constData(), st) == 0 && S_ISDIR(st->st_mode) &&
           (st->st_mode & S_ISGID) != 0;
}

}  // namespace

QString prepareProgramFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    std::error_code error;
    std::filesystem::create_directories(name.toStdString(), error);  // nothing when it exists
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return QStringLiteral("The program folder %1 cannot be created: %2.")
            .arg(path, error ? QString::fromStdString(error.message()) : systemReason(errno));
    }
    if (!S_ISDIR(st.st_mode)) {
        return QStringLiteral("The program folder %1 cannot be used: it is not a folder.")
            .arg(path);
    }
    if (::access(name.constData(), R_OK | W_OK | X_OK) != 0) {
        return QStringLiteral(
                   "The program folder %1 is read-only (%2).\nThe program cannot start. The "
                   "program needs to write in this folder (its database, logs and copies): make "
                   "it writable, then start again.")
            .arg(QDir::toNativeSeparators(path), systemReason(errno));
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

    const struct group* gr = ::getgrnam(kGroup);
    struct stat st {};
    if (!gr || ::stat(QFile::encodeName(folder).constData(), &st) != 0) {
        return f;
    }
    const gid_t group = gr->gr_gid;
    f.folderOfGroup = st.st_gid == group;

    std::vector<gid_t> groups(std::max(::getgroups(0, nullptr), 0) + 1);
    const int n = ::getgroups(int(groups.size()), groups.data());
    groups.resize(std::max(n, 0));
    groups.push_back(::getegid());
    f.inProcessGroups = std::find(groups.begin(), groups.end(), group) != groups.end();

    // The account's groups as the next login will have them: getgrouplist() asks for more
    // room by raising the count.
    std::vector<gid_t> member;
    for (int room = 32; !account.isEmpty();) {
        member.resize(room);
        int count = room;
        if (::getgrouplist(account.constData(), primary, member.data(), &count) >= 0) {
            member.resize(count);
            break;
        }
        if (count <= room) {
            member.clear();
            break;
        }
        room = count;
    }
    f.inAccountGroups = std::find(member.begin(), member.end(), group) != member.end();
    return f;
}

QString groupAdvice(const GroupFacts& f) {
    if (f.superUser || !f.folderOfGroup || f.inProcessGroups) {
        return {};
    }
    const QString group = QString::fromLatin1(kGroup);
    if (f.inAccountGroups) {
        return QStringLiteral(
                   "You (user %1) were added to the group %2 after you logged in, so the "
                   "program cannot yet keep its data in %3 nor use the serial ports.\n"
                   "Log out and log in again, then start the program.")
            .arg(f.user, group, f.folder);
    }
    return QStringLiteral(
               "You (user %1) are not in the group %2, to which the program folder %3 and the "
               "serial ports belong: the program can neither keep its data there nor talk to "
               "the hand-held terminal.\n"
               "Ask the administrator of this PC to add you to the group:\n\n"
               "    sudo usermod -aG %2 %1\n\n"
               "then log out and log in again.")
        .arg(f.user, group, f.folder);
}

void showGroupAdvice(const ProgramFolder& folder, const QString& advice, MsgIcon icon) {
    OperatorLog log(folder.operatorLogPath());
    OperatorLog* const before = Messages::operatorLog();
    Messages::setOperatorLog(&log);
    Messages::show({QStringLiteral("frmMain"), advice, icon, MsgButtons::Ok, QString()});
    Messages::setOperatorLog(before);
}

void useGroupPermissions(const ProgramFolder& folder) {
    struct stat st {};
    if (folderIsSetGroupId(folder.path(), &st)) {
        const mode_t mask = ::umask(0);
        ::umask(mask & ~mode_t(S_IRWXG));
    }
}

void shareDatabaseWithGroup(const ProgramFolder& folder) {
    struct stat dir {};
    if (!folderIsSetGroupId(folder.path(), &dir)) {
        return;
    }
    const QByteArray path = QFile::encodeName(folder.databasePath());
    struct stat db {};
    if (::stat(path.constData(), &db) != 0) {
        // Made here so that it is shared from the start; when it cannot be, the start-up that
        // follows meets the same failure and tells it.
        QString error;
        if (!Database::open(folder.databasePath(), &error) || ::stat(path.constData(), &db) != 0) {
            return;
        }
    }
    if (db.st_uid == ::geteuid() && (db.st_mode & S_IWGRP) == 0) {
        ::chmod(path.constData(), (db.st_mode & 07777) | S_IRGRP | S_IWGRP);
    }
}

}  // namespace kovrin
