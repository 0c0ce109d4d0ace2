#include "security/FrmPassword.h"

#include "core/Messages.h"
#include "db/Val.h"
#include "security/Passwords.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"
#include "ui/ScreenContext.h"
#include "ui/ScreenParts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

namespace kovrin {

namespace {

const QString kScreen = QStringLiteral("frmPassword");
const QString kWrongOld = QStringLiteral("Password entered is incorrect");

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QRadioButton* option(const char* name, const QString& caption) {
    auto* b = new QRadioButton(caption);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLineEdit* passwordBox(const char* name) {
    auto* e = new QLineEdit;
    e->setObjectName(QLatin1String(name));
    showAsStars(e);
    e->setMaxLength(4);
    return e;
}

}  // namespace

FrmPassword::FrmPassword(ScreenContext& ctx, QWidget* parent) : QWidget(parent), m_ctx(ctx) {
    setObjectName(kScreen);
    setWindowTitle(QStringLiteral("Password"));

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Password"));
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);

    auto* kinds = new QGroupBox;
    kinds->setObjectName(QStringLiteral("Frame1"));
    auto* kindRow = new QHBoxLayout(kinds);
    m_handHeld = option("OpHandHeld", QStringLiteral("Hand Held Terminal"));
    m_software = option("OpSoftware", QStringLiteral("Software"));
    kindRow->addWidget(m_software);
    kindRow->addWidget(m_handHeld);
    layout->addWidget(kinds);

    // Frame4 and Frame5 share one place; the kind that has the focus shows its levels.
    m_frame4 = new QGroupBox;
    m_frame4->setObjectName(QStringLiteral("Frame4"));
    auto* f4 = new QHBoxLayout(m_frame4);
    m_setup = option("OpSetup", QStringLiteral("Setup"));
    m_download = option("OpDownload", QStringLiteral("Main Screen"));
    f4->addWidget(m_setup);
    f4->addWidget(m_download);
    m_frame5 = new QGroupBox;
    m_frame5->setObjectName(QStringLiteral("Frame5"));
    auto* f5 = new QHBoxLayout(m_frame5);
    m_admin = option("OpAdmin", QStringLiteral("Admin"));
    m_user = option("OpUser", QStringLiteral("User"));
    f5->addWidget(m_admin);
    f5->addWidget(m_user);
    auto* levels = new QGridLayout;
    levels->addWidget(m_frame4, 0, 0);
    levels->addWidget(m_frame5, 0, 0);
    layout->addLayout(levels);
    m_frame4->hide();
    m_frame5->hide();

    auto* boxes = new QGridLayout;
    m_old = passwordBox("txtOldPass");
    m_new = passwordBox("txtNewPass");
    m_confirm = passwordBox("txtConfirmPass");
    const QStringList captions = {QStringLiteral("Enter Old Password :"),
                                  QStringLiteral("Enter New Password :"),
                                  QStringLiteral("Confirm New Password :")};
    const QList<QLineEdit*> passwords = {m_old, m_new, m_confirm};
    for (int i = 0; i < passwords.size(); ++i) {
        auto* caption = new QLabel(captions[i]);
        caption->setBuddy(passwords[i]);  // a screen reader names the box by it
        boxes->addWidget(caption, i, 0);
        boxes->addWidget(passwords[i], i, 1);
    }
    layout->addLayout(boxes);

    auto* buttons = new QHBoxLayout;
    m_update = new QPushButton(QStringLiteral("&Update"));
    m_update->setObjectName(QStringLiteral("cmdSend"));
    auto* exit = new QPushButton(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(m_update);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    QWidget::setTabOrder(m_handHeld, m_software);
    QWidget::setTabOrder(m_software, m_setup);
    QWidget::setTabOrder(m_setup, m_download);
    QWidget::setTabOrder(m_download, m_admin);
    QWidget::setTabOrder(m_admin, m_user);
    QWidget::setTabOrder(m_user, m_old);
    QWidget::setTabOrder(m_old, m_new);
    QWidget::setTabOrder(m_new, m_confirm);
    QWidget::setTabOrder(m_confirm, m_update);
    QWidget::setTabOrder(m_update, exit);

    connect(m_update, &QPushButton::clicked, this, &FrmPassword::cmdSend_Click);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);

    // Focus on a kind shows its levels; choosing it sets the boxes' maximum length.
    FocusInFilter::install(
        m_software, [this] { showLevels(true); }, FocusInFilter::Reasons::OperatorOnly);
    FocusInFilter::install(
        m_handHeld, [this] { showLevels(false); }, FocusInFilter::Reasons::OperatorOnly);
    connect(m_software, &QRadioButton::clicked, this, [this] {
        for (QLineEdit* e : {m_old, m_new, m_confirm}) {
            e->setMaxLength(10);
        }
    });
    connect(m_handHeld, &QRadioButton::clicked, this, [this] {
        for (QLineEdit* e : {m_old, m_new, m_confirm}) {
            e->setMaxLength(4);
        }
    });
    for (QRadioButton* level : {m_admin, m_user, m_setup, m_download}) {
        FocusInFilter::install(
            level,
            [this] {
                m_old->clear();
                m_new->clear();
                m_confirm->clear();
            },
            FocusInFilter::Reasons::OperatorOnly);
        KeyFilter::install(level, [this](QKeyEvent* e) {
            if (!KeyFilter::isEnter(e)) {
                return false;
            }
            m_old->setFocus(Qt::OtherFocusReason);
            return true;
        });
    }
    KeyFilter::install(m_software, [this](QKeyEvent* e) {
        if (!KeyFilter::isEnter(e)) {
            return false;
        }
        m_admin->setFocus(Qt::OtherFocusReason);
        return true;
    });
    KeyFilter::install(m_handHeld, [this](QKeyEvent* e) {
        if (!KeyFilter::isEnter(e)) {
            return false;
        }
        m_setup->setFocus(Qt::OtherFocusReason);
        return true;
    });
    for (QLineEdit* box : {m_old, m_new, m_confirm}) {
        KeyFilter::install(box, [this, box](QKeyEvent* e) { return passwordBoxKey(box, e); });
        // The rule may be asked while the screen is taken down (the box losing the focus).
        CharacterRule::install(box, isDigit, [handHeld = QPointer<QRadioButton>(m_handHeld)] {
            return handHeld && handHeld->isChecked();
        });
    }
    FocusInFilter::install(
        m_new, [this] { checkOldPassword(); }, FocusInFilter::Reasons::OperatorOnly);

    FocusColours::apply(this);
    // The terminal kind is first in the tab order: it has the focus when the screen opens
    // and so shows its levels, without being chosen.
    m_handHeld->setFocus();
    showLevels(false);

    DbStatus st;
    if (const auto row = PasswordStore(m_ctx.db()).load(&st)) {
        m_copies = *row;
    }
    if (!st) {
        Messages::critical(kScreen,
                           QStringLiteral("The passwords could not be read: %1").arg(st.error));
    }
}

void FrmPassword::showLevels(bool software) {
    m_frame4->setVisible(!software);
    m_frame5->setVisible(software);
    layout()->activate();  // the shown levels take their place at once
}

std::optional<PasswordColumn> FrmPassword::selectedColumn() const {
    if (m_software->isChecked()) {
        if (m_admin->isChecked()) {
            return PasswordColumn::Admin;
        }
        if (m_user->isChecked()) {
            return PasswordColumn::User;
        }
    } else if (m_handHeld->isChecked()) {
        if (m_setup->isChecked()) {
            return PasswordColumn::Setup;
        }
        if (m_download->isChecked()) {
            return PasswordColumn::Download;
        }
    }
    return std::nullopt;
}

QString& FrmPassword::copyOf(PasswordColumn column) {
    switch (column) {
        case PasswordColumn::Admin:
            return m_copies.admin;
        case PasswordColumn::User:
            return m_copies.user;
        case PasswordColumn::Setup:
            return m_copies.setup;
        case PasswordColumn::Download:
            break;
    }
    return m_copies.download;
}

bool FrmPassword::oldPasswordMatches(PasswordColumn column) const {
    return security::matchesOld(const_cast<FrmPassword*>(this)->copyOf(column), m_old->text());
}

void FrmPassword::rejectOldPassword() {
    if (const auto column = selectedColumn()) {
        m_ctx.operatorLog().audit(kScreen,
                                  QStringLiteral("password change refused: wrong old %1 password")
                                      .arg(columnName(*column)));
    }
    m_old->clear();
    m_old->setFocus(Qt::OtherFocusReason);
    Messages::critical(kScreen, kWrongOld);
}

void FrmPassword::checkOldPassword() {
    const auto column = selectedColumn();
    if (column && !oldPasswordMatches(*column)) {
        rejectOldPassword();
    }
}

// While "Hand Held Terminal" is chosen the boxes take digits only, typed or pasted; Backspace
// drops the last digit together with any leading zeros, and Enter moves on to the next box.
// The keys that move or edit (arrows, Home, End, Delete, Tab, Ctrl+V) work as in any box.
bool FrmPassword::passwordBoxKey(QLineEdit* box, QKeyEvent* e) {
    if (!m_handHeld->isChecked()) {
        return false;
    }
    if (KeyFilter::isEnter(e)) {
        QWidget* next = box == m_old   ? static_cast<QWidget*>(m_new)
                        : box == m_new ? static_cast<QWidget*>(m_confirm)
                                       : static_cast<QWidget*>(m_update);
        next->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (e->key() == Qt::Key_Backspace) {
        const auto value = static_cast<long long>(vbVal(box->text()));
        box->setText(QString::number(value / 10));
        return true;
    }
    if (!KeyFilter::typesCharacter(e)) {
        return false;
    }
    const QString t = e->text();
    return !std::all_of(t.begin(), t.end(), isDigit);  // a digit is taken as typed
}

void FrmPassword::cmdSend_Click() {
    if (m_confirm->text().trimmed().toLower() != m_new->text().trimmed().toLower()) {
        m_confirm->clear();
        m_confirm->setFocus(Qt::OtherFocusReason);
        Messages::critical(kScreen, QStringLiteral("Conifrming New Password is Incorrect"));
        return;
    }
    const auto column = selectedColumn();
    if (!column) {
        Messages::info(kScreen,
                       QStringLiteral("Choose the password to change first: Software (Admin or "
                                      "User) or Hand Held Terminal (Setup or Main Screen)."));
        return;
    }
    // The old password is checked again here: the boxes may have been filled out of order.
    if (!oldPasswordMatches(*column)) {
        rejectOldPassword();
        return;
    }
    const QString plain = m_new->text().trimmed().toLower();
    if (!security::isSoftwarePassword(*column)) {
        bool digits = plain.size() <= 4;
        for (const QChar c : plain) {
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }
        if (!digits) {
            m_new->clear();
            m_confirm->clear();
            m_new->setFocus(Qt::OtherFocusReason);
            Messages::critical(kScreen, QStringLiteral("A Hand Held Terminal password is at most "
                                                       "4 digits. Nothing was saved."));
            return;
        }
    }
    const auto stored = security::storedFormOf(*column, plain);
    if (!stored) {
        Messages::critical(kScreen, QStringLiteral("The password could not be protected (not "
                                                   "enough memory). Nothing was saved."));
        return;
    }
    if (DbStatus st = PasswordStore(m_ctx.db()).save(*column, *stored); !st) {
        Messages::critical(kScreen,
                           QStringLiteral("The password could not be saved: %1\nNothing was "
                                          "changed; try again.")
                               .arg(st.error));
        return;
    }
    copyOf(*column) = *stored;
    m_ctx.operatorLog().audit(kScreen,
                              QStringLiteral("password changed: %1").arg(columnName(*column)));
    Messages::show({kScreen, QStringLiteral("Data Saved Successfully"), MsgIcon::Information,
                    MsgButtons::Ok, QStringLiteral("DATA SAVE")});
}

}  // namespace kovrin
