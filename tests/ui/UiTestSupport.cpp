// Helpers of the window tests (see UiTestSupport.h).

#include "UiTestSupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include "shell/platform/PrivateProfile.h"

namespace qb::uitest {

Sample::Sample(int messages, int seed, int mailboxes) {
    QDir(dir_.path()).mkpath("config");
    QDir(dir_.path()).mkpath("tmp");
    qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toUtf8());
    qputenv("TMPDIR", (dir_.path() + "/tmp").toUtf8());
    QStringList arguments{"sample", "--out", Dir(), "--messages", QString::number(messages), "--seed",
                          QString::number(seed)};
    if (mailboxes > 0) arguments << "--mailboxes" << QString::number(mailboxes);
    const ProcessResult made = RunCli(arguments);
    ok_ = made.status == 0;
    output_ = made.output;
}

void Sample::Set(const char* section, const char* key, const std::string& value) const {
    platform::WritePrivateProfileString(section, key, value, Ini().toStdString());
}

void WhenModal(const std::function<bool(QWidget*)>& matches, const std::function<void(QWidget*)>& act, int timeoutMs) {
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, matches, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && matches(modal)) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

void WhenModalNamed(const QString& name, const std::function<void(QWidget*)>& act, int timeoutMs) {
    WhenModal([name](QWidget* w) { return w->objectName() == name; }, act, timeoutMs);
}

void WhenMessageBox(QString* seen, int timeoutMs) {
    WhenModal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
              [seen](QWidget* w) {
                  auto* box = qobject_cast<QMessageBox*>(w);
                  if (seen) *seen = box->windowTitle() + ": " + box->text();
                  box->done(box->standardButtons().testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
              },
              timeoutMs);
}

ProcessResult Run(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.output = "did not finish: " + program + " " + arguments.join(' ');
        return result;
    }
    result.output = QString::fromUtf8(process.readAll());
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QString CliPath() { return QUILLBOX_BINARY_DIR "/quillbox-cli"; }
QString SourceFile(const QString& relative) { return QUILLBOX_SOURCE_DIR "/" + relative; }
ProcessResult RunCli(const QStringList& arguments) { return Run(CliPath(), arguments); }

ProcessResult RunPython(const QString& script, const QStringList& arguments) {
    // The system's python: it is the one with python3-pypff.
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    return Run(python, QStringList{SourceFile(script)} + arguments);
}

std::map<QString, int> PstFolders(const QString& pst, QString* problem) {
    std::map<QString, int> folders;
    const ProcessResult listed = RunPython("tests/ui/pst_folders.py", {pst});
    if (listed.status != 0) {
        if (problem) *problem = listed.output;
        return folders;
    }
    for (const QString& line : listed.output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split('\t');
        if (parts.size() == 2) folders[parts[0]] = parts[1].toInt();
    }
    return folders;
}

}  // namespace qb::uitest
