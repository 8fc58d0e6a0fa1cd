#include "convert/ConversionSet.h"

namespace qb {

ConversionSet::ConversionSet(const ConversionServices& services, const std::string& tempFolder)
    : scratch_(services.session, tempFolder),
      workFolder_(tempFolder),
      mail_(MailContext{services.run, services.settings, services.log, services.progress, services.outlook,
                        services.translator, workFolder_.path(), scratch_, services.showFieldTextFailure}),
      calendar_(services.log, "Calendar"),
      task_(services.log, "Task"),
      dispatcher_(mail_, calendar_, task_) {}

}  // namespace qb
