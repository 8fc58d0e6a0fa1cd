// The objects of one export (see ExportParts.h).

#include "launch/ExportParts.h"

#include "shell/platform/Paths.h"

namespace qb {
namespace {

AddressTranslationOptions TranslationOptions(const ExportPartsInputs& in) {
    AddressTranslationOptions options;
    options.translate = in.settings.TranslateEmailAddresses;
    options.ignoreNotesDomain = in.settings.TranslateEmailIgnoreNotesDomain;
    // Translate and make SMTP exclude each other; a stored translation wins.
    options.makeSmtp = in.makeSmtp && !options.translate;
    options.smtpDomain = in.smtpDomain;
    return options;
}

}  // namespace

ExportParts::ExportParts(const ExportPartsInputs& inputs)
    : in_(inputs),
      conversions_(ConversionServices{run, in_.settings, log, in_.progress, in_.outlook, translator, in_.session, {},
                                      in_.messages},
                   platform::TempFolder()),
      components_(ComponentContext{run, log, in_.progress, in_.outlook}, conversions_.dispatcher(),
                  &conversions_.contacts(), &conversions_.groups()) {
    translator.options = TranslationOptions(in_);
}

ExportEnvironment ExportParts::env() {
    return ExportEnvironment{run,        in_.settings, log,     in_.progress, in_.outlook,         in_.catalogue,
                             conversions_.dispatcher(), components_, in_.journal, translator, namedProperties_};
}

}  // namespace qb
