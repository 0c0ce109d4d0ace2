#include "security/FrmPassEntry.h"

#include "core/Messages.h"
#include "db/PasswordStore.h"
#include "security/Passwords.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenContext.h"
#include "ui/ScreenParts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmPassEntry");
}

FrmPassEntry::FrmPassEntry(ScreenContext& ctx, QWidget* parent) : QWidget(parent), m_ctx(ctx) {
    setObjectName(kScreen);
    setWindowTitle(QStringLiteral("PasswordEntry"));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* user = new QLineEdit(QStringLiteral("Admin"));
    user->setObjectName(QStringLiteral("txtUser"));
    user->setReadOnly(true);
    user->setFocusPolicy(Qt::NoFocus);
    m_password = new QLineEdit;
    m_password->setObjectName(QStringLiteral("txtNewPass"));
    showAsStars(m_password);
    m_password->setMaxLength(10);
    form->addRow(QStringLiteral("User :"), user);
    form->addRow(QStringLiteral("Password :"), m_password);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("&OK"));
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &FrmPassEntry::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    KeyFilter::install(m_password, [this](QKeyEvent* e) {
        if (!KeyFilter::isEnter(e)) {
            return false;
        }
        cmdOK_Click();
        return true;
    });
    FocusColours::apply(this);
    m_password->setFocus();

    DbStatus st;
    if (const auto row = PasswordStore(m_ctx.db()).load(&st)) {
        m_adminPassword = row->admin;
    }
    if (!st) {
        Messages::critical(kScreen,
                           QStringLiteral("The password could not be read: %1").arg(st.error));
    }
}

// A hash made with weaker limits than today's is made again now that the password is known;
// the entry goes on whatever comes of it (the old hash still works).
void FrmPassEntry::strengthenStoredHash(const QString& typed) {
    if (!security::needsRehash(m_adminPassword)) {
        return;
    }
    const QString hash = security::hashPassword(typed);
    if (hash.isEmpty()) {
        return;
    }
    if (const DbStatus st = PasswordStore(m_ctx.db()).save(PasswordColumn::Admin, hash); !st) {
        m_ctx.operatorLog().audit(
            kScreen, QStringLiteral("the administrator password's hash could not be made "
                                    "stronger: %1")
                         .arg(st.error));
        return;
    }
    m_adminPassword = hash;
    m_ctx.operatorLog().audit(kScreen,
                              QStringLiteral("administrator password's hash made stronger"));
}

void FrmPassEntry::cmdOK_Click() {
    if (!security::matchesEntry(m_adminPassword, m_password->text())) {
        m_ctx.operatorLog().audit(kScreen, QStringLiteral("administrator password refused"));
        m_password->clear();
        m_password->setFocus();
        Messages::critical(kScreen, QStringLiteral("Password entered is Incorrect"));
        return;
    }
    m_ctx.operatorLog().audit(kScreen, QStringLiteral("administrator password accepted"));
    strengthenStoredHash(m_password->text());
    close();
    emit passwordAccepted();
}

}  // namespace kovrin
