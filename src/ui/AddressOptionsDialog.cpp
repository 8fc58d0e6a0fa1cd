// The address translation options (see AddressOptionsDialog.h).

#include "ui/AddressOptionsDialog.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "convert/AddressTranslation.h"
#include "ui/WindowThread.h"
#include "ui/Widgets.h"

namespace qb::ui {

AddressOptionsDialog::AddressOptionsDialog(ExportSettings& settings, bool& makeSmtpOn, std::string& smtpDomain,
                                           MessageSink& messages, QWidget* parent)
    : QDialog(parent),
      translate(new QCheckBox("Enable address translation", this)),
      path(new QLineEdit(this)),
      ignoreDomain(new QCheckBox("Ignore Lotus Notes domain", this)),
      makeSmtp(new QCheckBox("Make SMTP address from Lotus Notes address", this)),
      domain(new QLineEdit(this)),
      settings_(settings),
      makeSmtp_(makeSmtpOn),
      smtpDomain_(smtpDomain),
      messages_(messages) {
    setObjectName("addressOptions");
    setWindowTitle("Email Address Transation Options");
    translate->setObjectName("translate");
    path->setObjectName("translationPath");
    ignoreDomain->setObjectName("ignoreDomain");
    makeSmtp->setObjectName("makeSmtp");
    domain->setObjectName("smtpDomain");
    translate->setChecked(settings.TranslateEmailAddresses);
    path->setText(Q(settings.TranslationFilePath));
    ignoreDomain->setChecked(settings.TranslateEmailIgnoreNotesDomain);
    makeSmtp->setChecked(makeSmtpOn);
    domain->setText(Q(smtpDomain));
    // Translate and make SMTP exclude each other.
    connect(translate, &QCheckBox::toggled, this, [this](bool on) {
        if (on) makeSmtp->setChecked(false);
    });
    connect(makeSmtp, &QCheckBox::toggled, this, [this](bool on) {
        if (on) translate->setChecked(false);
    });
    auto* browse = new QPushButton("Browse", this);
    connect(browse, &QPushButton::clicked, this, [this] {
        QFileDialog chooser(this, "Translation file", path->text(), "Comma Delimited (*.csv);;All Files (*)");
        chooser.setDefaultSuffix("csv");
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
            path->setText(chooser.selectedFiles().front());
    });
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path, 1);
    pathRow->addWidget(browse);
    auto* hint = new QLabel("(Each CSV row must contain only one From Email Address and one To Email Address)", this);
    hint->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow("SMTP Internet Domain  (for Make)", domain);
    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(translate);
    layout->addLayout(pathRow);
    layout->addWidget(hint);
    layout->addWidget(ignoreDomain);
    layout->addWidget(makeSmtp);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

void AddressOptionsDialog::accept() {
    const std::string file = U(path->text());
    const std::string smtp = U(domain->text().trimmed());
    if (makeSmtp->isChecked() && smtp.empty()) {
        messages_.ShowMessage(
            "Please supply the \"SMTP Internet Domain  (for Make)\" value, for example example.com, to make SMTP "
            "addresses from Lotus Notes addresses.",
            "Error", MessageIcon::Error);
        return;
    }
    if (translate->isChecked()) {
        TranslationTable table;
        std::string error;
        if (!table.Load(file, error)) {
            messages_.ShowMessage(error, "Error", MessageIcon::Error);
            return;
        }
    }
    settings_.TranslateEmailAddresses = translate->isChecked();
    settings_.TranslationFilePath = file;
    settings_.TranslateEmailIgnoreNotesDomain = ignoreDomain->isChecked();
    makeSmtp_ = makeSmtp->isChecked();
    smtpDomain_ = smtp;
    QDialog::accept();
}

}  // namespace qb::ui
