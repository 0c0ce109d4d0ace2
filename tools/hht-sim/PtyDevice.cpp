#include "PtyDevice.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace kovrin::sim {

namespace {

// Raw 8N1 at 19200 baud: no echo, no line editing, no translation of any byte.
termios rawLine() {
    termios t{};
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return t;
}

QString systemError(const QString& what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

void closeOnExec(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

}  // namespace

PtyDevice::PtyDevice(QObject* parent) : QObject(parent) {}

PtyDevice::~PtyDevice() {
    close();
}

QString PtyDevice::openPty() {
    close();
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    termios t = rawLine();
    if (::openpty(&master, &slave, name, &t, nullptr) < 0) {
        return systemError(QStringLiteral("openpty"));
    }
    closeOnExec(master);
    closeOnExec(slave);
    m_holdFd = slave;
    m_path = QString::fromLocal8Bit(name);
    return start(master);
}

QString PtyDevice::openDevice(const QString& path) {
    close();
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return systemError(path);
    }
    const termios t = rawLine();
    if (::tcsetattr(fd, TCSANOW, &t) < 0) {
        const QString e = systemError(path);
        ::close(fd);
        return e;
    }
    m_path = path;
    return start(fd);
}

QString PtyDevice::start(int fd) {
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) < 0) {
        const QString e = systemError(QStringLiteral("fcntl"));
        ::close(fd);
        return e;
    }
    m_fd = fd;
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyDevice::readAll);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyDevice::flush);
    return {};
}

void PtyDevice::write(const QByteArray& bytes) {
    if (m_fd < 0) {
        return;
    }
    m_pending.append(bytes);
    flush();
}

void PtyDevice::flush() {
    while (!m_pending.isEmpty() && m_fd >= 0) {
        const ssize_t n =
            ::write(m_fd, m_pending.constData(), static_cast<size_t>(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        emit error(systemError(QStringLiteral("write")));
        m_pending.clear();
    }
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(false);
    }
}

void PtyDevice::readAll() {
    QByteArray in;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            in.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // A real device that went away: stop listening instead of spinning.
            m_readNotifier->setEnabled(false);
            emit error(systemError(QStringLiteral("read")));
        }
        break;
    }
    if (!in.isEmpty()) {
        emit received(in);
    }
}

qint64 PtyDevice::unreadByPeer() const {
    int queued = 0;
    if (m_holdFd >= 0) {
        ::ioctl(m_holdFd, FIONREAD, &queued);
    } else if (m_fd >= 0) {
        ::ioctl(m_fd, TIOCOUTQ, &queued);
    }
    return m_pending.size() + std::max(queued, 0);
}

void PtyDevice::close() {
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_holdFd >= 0) {
        ::close(m_holdFd);
        m_holdFd = -1;
    }
    m_pending.clear();
}

}  // namespace kovrin::sim
