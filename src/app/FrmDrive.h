#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QRadioButton;
class QTreeView;

namespace kovrin {

class AppContext;

// Choice of the bank-information folder and the report folder by drive and folder.
class FrmDrive : public QWidget {
    Q_OBJECT
public:
    // The drives offered: the root paths of the mounted file systems.
    using DriveLister = std::function<QStringList()>;
    static QStringList mountedDrives();

    FrmDrive(AppContext& ctx, QWidget* parent = nullptr, DriveLister drives = mountedDrives);

    // The folder shown by the folder tree (what lbFilePath shows).
    QString currentFolder() const;
    // Makes `folder` the tree's current folder (its drive selected first).
    void setCurrentFolder(const QString& folder);

    void cmdSend_Click();

private:
    enum class Stored { BankInfo, Report };
    void showStoredFolder(Stored which);
    void Drive1_Change(int index);
    void showDrive(const QString& root);
    QString driveOf(const QString& folder) const;

    AppContext& m_ctx;
    QRadioButton* m_opBank;
    QRadioButton* m_opReport;
    QComboBox* m_drive;
    QTreeView* m_dir;
    QFileSystemModel* m_model;
    QLabel* m_filePath;
    QString m_shownDrive;  // the drive whose tree is shown
    bool m_settingDrive = false;
};

}  // namespace kovrin
