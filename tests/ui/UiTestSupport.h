#pragma once
// What the window tests share: a generated sample with its own profiles and
// temporary folder, answering the modal dialogs the window opens, running
// the outside readers, and reading the written file through libpff.

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

namespace qb::uitest {

// A sample mailbox in a fresh folder; XDG_CONFIG_HOME and TMPDIR point into
// it for the rest of the test, so the profile "Quillbox Sample" is its own.
class Sample {
public:
    // With mailboxes > 0 also that many mailboxes of the server "Hub/Acme".
    explicit Sample(int messages, int seed = 7, int mailboxes = 0);
    bool ok() const { return ok_; }
    const QString& output() const { return output_; }
    QString Dir() const { return dir_.path() + "/sample"; }
    QString Ini() const { return Dir() + "/Quillbox.ini"; }
    QString Pst() const { return Dir() + "/Quillbox Sample.pst"; }
    QString Root() const { return dir_.path(); }
    // Sets a key of the sample's Quillbox.ini.
    void Set(const char* section, const char* key, const std::string& value) const;

private:
    QTemporaryDir dir_;
    bool ok_ = false;
    QString output_;
};

// Runs `act` on the next modal dialog of type T as soon as the window shows
// it (polling, so that it also works inside another dialog's event loop).
// Gives up after `timeoutMs`.
void WhenModal(const std::function<bool(QWidget*)>& matches, const std::function<void(QWidget*)>& act,
               int timeoutMs = 120000);
// The window's own dialogs by their object name ("confirmExport", ...).
void WhenModalNamed(const QString& name, const std::function<void(QWidget*)>& act, int timeoutMs = 120000);
// The next message box; `seen` receives its title and text.
void WhenMessageBox(QString* seen, int timeoutMs = 120000);

struct ProcessResult {
    int status = -1;
    QString output;
};
// Runs a program of the build or a python script (with the system python
// that has pypff) and waits for it.
ProcessResult Run(const QString& program, const QStringList& arguments, int timeoutMs = 600000);
ProcessResult RunCli(const QStringList& arguments);
ProcessResult RunPython(const QString& script, const QStringList& arguments);
QString SourceFile(const QString& relative);
QString CliPath();

// The folders of a .pst as libpff reads them: path -> item count.
std::map<QString, int> PstFolders(const QString& pst, QString* problem);

}  // namespace qb::uitest
