#include "app/FrmDrive.h"

#include "app/AppContext.h"
#include "core/Messages.h"
#include "db/SettingsStore.h"
#include "ui/FocusColours.h"
#include "ui/KeyFilter.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmDrive");

bool driveReadable(const QString& root) {
    const QFileInfo fi(root);
    if (!fi.exists() || !fi.isDir() || !fi.isReadable()) {
        return false;
    }
    const QStorageInfo si(root);
    return si.isValid() && si.isReady();
}
}  // namespace

QStringList FrmDrive::mountedDrives() {
    QStringList roots;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!roots.contains(s.rootPath())) {
            roots << s.rootPath();
        }
    }
    std::sort(roots.begin(), roots.end());
    return roots;
}

FrmDrive::FrmDrive(AppContext& ctx, QWidget* parent, DriveLister drives)
    : QWidget(parent), m_ctx(ctx) {
    setObjectName(kScreen);
    setWindowTitle(QStringLiteral("Drive Selection"));

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Drive Selection"));
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);

    auto* options = new QHBoxLayout;
    m_opBank = new QRadioButton(QStringLiteral("Bank Information"));
    m_opBank->setObjectName(QStringLiteral("OpBank"));
    m_opReport = new QRadioButton(QStringLiteral("Report Path"));
    m_opReport->setObjectName(QStringLiteral("OpReport"));
    options->addWidget(m_opBank);
    options->addWidget(m_opReport);
    layout->addLayout(options);

    auto* grid = new QGridLayout;
    m_drive = new QComboBox;
    m_drive->setObjectName(QStringLiteral("Drive1"));
    m_drive->addItems(drives());
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    m_dir = new QTreeView;
    m_dir->setObjectName(QStringLiteral("Dir1"));
    m_dir->setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c) {
        m_dir->hideColumn(c);
    }
    m_dir->setHeaderHidden(true);
    m_dir->setMinimumSize(360, 240);
    auto* pathLabel = new QLabel(QStringLiteral("Report Path :"));
    m_filePath = new QLabel;
    m_filePath->setObjectName(QStringLiteral("lbFilePath"));
    m_filePath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Each list's label is its buddy: a screen reader names the list by it.
    auto* driveLabel = new QLabel(QStringLiteral("Select Drive :"));
    driveLabel->setBuddy(m_drive);
    auto* folderLabel = new QLabel(QStringLiteral("Select Folder :"));
    folderLabel->setBuddy(m_dir);
    grid->addWidget(driveLabel, 0, 0);
    grid->addWidget(m_drive, 0, 1);
    grid->addWidget(folderLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(m_dir, 1, 1);
    grid->addWidget(pathLabel, 2, 0);
    grid->addWidget(m_filePath, 2, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    auto* update = new QPushButton(QStringLiteral("&Update"));
    update->setObjectName(QStringLiteral("cmdSend"));
    auto* exit = new QPushButton(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(update);
    buttons->addWidget(exit);
    layout->addLayout(buttons);

    connect(update, &QPushButton::clicked, this, &FrmDrive::cmdSend_Click);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_drive, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &FrmDrive::Drive1_Change);
    connect(m_dir->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                m_filePath->setText(QDir::toNativeSeparators(m_model->filePath(current)));
            });
    // An option gaining the focus (by click, Tab or arrow keys) shows its stored folder; coming
    // back to the screen, or closing one of its messages, leaves the folder being browsed.
    FocusInFilter::install(
        m_opBank, [this] { showStoredFolder(Stored::BankInfo); },
        FocusInFilter::Reasons::OperatorOnly);
    FocusInFilter::install(
        m_opReport, [this] { showStoredFolder(Stored::Report); },
        FocusInFilter::Reasons::OperatorOnly);

    FocusColours::apply(this);

    if (m_drive->count() > 0) {
        m_settingDrive = true;
        m_drive->setCurrentIndex(0);
        m_settingDrive = false;
        showDrive(m_drive->currentText());
    }
    showStoredFolder(Stored::BankInfo);
}

QString FrmDrive::currentFolder() const {
    return m_filePath->text();
}

QString FrmDrive::driveOf(const QString& folder) const {
    // The listed drive whose root is the longest prefix of the folder.
    QString best;
    const QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (int i = 0; i < m_drive->count(); ++i) {
        const QString root = QDir::cleanPath(m_drive->itemText(i));
        const bool under =
            f == root || root == QLatin1String("/") || f.startsWith(root + QLatin1Char('/'));
        if (under && root.size() > best.size()) {
            best = m_drive->itemText(i);
        }
    }
    return best;
}

void FrmDrive::showDrive(const QString& root) {
    m_shownDrive = root;
    m_model->setRootPath(root);
    m_dir->setRootIndex(m_model->index(root));
}

void FrmDrive::setCurrentFolder(const QString& folder) {
    const QString drive = driveOf(folder);
    if (drive.isEmpty()) {
        return;
    }
    if (drive != m_shownDrive) {
        m_settingDrive = true;
        m_drive->setCurrentIndex(m_drive->findText(drive));
        m_settingDrive = false;
        showDrive(drive);
    }
    const QModelIndex idx = m_model->index(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    if (idx.isValid()) {
        m_dir->setCurrentIndex(idx);
        m_dir->scrollTo(idx);
        m_filePath->setText(QDir::toNativeSeparators(m_model->filePath(idx)));
    }
}

void FrmDrive::Drive1_Change(int index) {
    if (m_settingDrive || index < 0) {
        return;
    }
    const QString root = m_drive->itemText(index);
    if (!driveReadable(root)) {
        // The folder list and the path keep what they showed; the drive list keeps the choice.
        Messages::critical(kScreen, QStringLiteral("Device Not Available"));
        return;
    }
    showDrive(root);
    const QModelIndex idx = m_model->index(root);
    m_dir->setCurrentIndex(idx);
    m_filePath->setText(QDir::toNativeSeparators(m_model->filePath(idx)));
}

void FrmDrive::showStoredFolder(Stored which) {
    DbStatus st;
    const auto row = SettingsStore(m_ctx.db()).load(&st);
    if (!st) {
        Messages::critical(kScreen,
                           QStringLiteral("The settings could not be read: %1").arg(st.error));
        return;
    }
    if (!row) {
        return;
    }
    QString folder;
    if (which == Stored::BankInfo) {
        m_ctx.settings().BankInfoPath = row->BankInfoPath;
        folder = row->BankInfoPath;
    } else {
        m_ctx.settings().ReportPath = row->ReportPath;
        folder = row->ReportPath;
    }
    // A stored folder that no longer exists leaves the lists where they are.
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        setCurrentFolder(folder);
    }
}

void FrmDrive::cmdSend_Click() {
    std::optional<FolderKind> kind;
    if (m_opBank->isChecked()) {
        kind = FolderKind::BankInformation;
    } else if (m_opReport->isChecked()) {
        kind = FolderKind::Report;
    }
    if (!kind) {
        Messages::info(kScreen, QStringLiteral("Choose \"Bank Information\" or \"Report Path\" "
                                               "first, then the folder, and press Update."));
        return;
    }
    if (m_filePath->text().trimmed().isEmpty()) {
        const QString option =
            (*kind == FolderKind::BankInformation ? m_opBank : m_opReport)->text();
        Messages::info(kScreen, QStringLiteral("No folder is chosen for \"%1\". Choose the folder "
                                               "under \"Select Folder :\", then press Update.")
                                    .arg(option));
        m_dir->setFocus(Qt::OtherFocusReason);
        return;
    }
    QStringList changes;
    const DbStatus st =
        SettingsStore(m_ctx.db()).saveFolder(*kind, m_filePath->text(), m_ctx.settings(), &changes);
    if (!st) {
        Messages::critical(kScreen, QStringLiteral("The folder could not be saved: %1\nNothing "
                                                   "was changed; try again.")
                                        .arg(st.error));
        return;
    }
    m_ctx.operatorLog().audit(
        kScreen, changes.isEmpty()
                     ? QStringLiteral("settings saved, nothing changed")
                     : QStringLiteral("settings changed: ") + changes.join(QStringLiteral("; ")));
    Messages::info(kScreen, QStringLiteral("Data Saved Successfully"));
}

}  // namespace kovrin
