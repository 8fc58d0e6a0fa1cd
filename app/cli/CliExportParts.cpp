#include "CliExportParts.h"

#include "shell/platform/Paths.h"

namespace qb::cli {

AddressTranslator CliExportParts::TranslatorFor(const ExportSettings& settings) {
    AddressTranslator translator;
    translator.options.translate = settings.TranslateEmailAddresses;
    translator.options.ignoreNotesDomain = settings.TranslateEmailIgnoreNotesDomain;
    return translator;
}

CliExportParts::CliExportParts(const ExportSettings& settings, LNNotesSession& session, ProgressSink& progress,
                               MessageSink& messages, RecoveryHooks& journal)
    : translator(TranslatorFor(settings)),
      conversions_(ConversionServices{run, settings, log, progress, outlook, translator, session, {}, &messages},
                   platform::TempFolder()),
      components_(ComponentContext{run, log, progress, outlook}, conversions_.dispatcher(), &conversions_.contacts(),
                  &conversions_.groups()),
      env_{run,      settings, log, progress, outlook, catalogue, conversions_.dispatcher(), components_, journal,
           translator, namedProperties_} {}

}  // namespace qb::cli
