#pragma once
// The command line as the export's front end: message boxes and the export
// confirmation on the terminal, the window's exporting state as nothing.

#include <iostream>
#include <string>

#include "convert/ExportServices.h"
#include "launch/ExportLaunch.h"
#include "shell/report/MessageSink.h"

namespace qb::cli {

class CliFrontEnd : public MessageSink, public ExportConfirmation, public ExportWindow {
public:
    // With assumeYes every question is answered yes without asking.
    CliFrontEnd(std::ostream& err, std::istream& in, bool assumeYes) : err_(err), in_(in), assumeYes_(assumeYes) {}

    MessageResult ShowMessage(std::string_view text, std::string_view title, MessageIcon icon,
                              MessageButtons buttons) override;
    bool Confirm(const std::string& text, ExportSettings& settings) override;
    void SetExportingState(bool) override {}
    void ShowExportError(const std::string& text) override;

private:
    bool AskYes(const std::string& question);

    std::ostream& err_;
    std::istream& in_;
    bool assumeYes_;
};

}  // namespace qb::cli
