#include "convert/ConversionSet.h"

namespace qb {

ConversionSet::ConversionSet(const ConversionServices& services, const std::string& tempFolder)
    : scratch_(services.session, tempFolder),
      workFolder_(tempFolder),
      mail_(MailContext{services.run, services.settings, services.log, services.progress, services.outlook,
                        services.translator, workFolder_.path(), scratch_, services.showFieldTextFailure}),
      calendar_(EntryContext{services.run, services.settings, services.log, services.progress, services.outlook,
                             workFolder_.path()}),
      task_(EntryContext{services.run, services.settings, services.log, services.progress, services.outlook,
                         workFolder_.path()}),
      dispatcher_(mail_, calendar_, task_) {}

}  // namespace qb
