#pragma once
// "Email Address Transation Options": translation of Notes names from a
// table file, or SMTP addresses made from Notes names and a domain (the two
// exclude each other). The table options are settings; make SMTP and its
// domain are not stored and start off at every program start. OK checks the
// domain and loads the table, and stays open on a problem.

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

#include "shell/report/MessageSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb::ui {

class AddressOptionsDialog : public QDialog {
public:
    AddressOptionsDialog(ExportSettings& settings, bool& makeSmtp, std::string& smtpDomain, MessageSink& messages,
                         QWidget* parent);
    void accept() override;

    QCheckBox* translate;
    QLineEdit* path;
    QCheckBox* ignoreDomain;
    QCheckBox* makeSmtp;
    QLineEdit* domain;

private:
    ExportSettings& settings_;
    bool& makeSmtp_;
    std::string& smtpDomain_;
    MessageSink& messages_;
};

}  // namespace qb::ui
