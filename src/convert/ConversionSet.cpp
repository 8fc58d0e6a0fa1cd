#include "convert/ConversionSet.h"

namespace qb {
namespace {

AddressBookContext AddressBookContextOf(const ConversionServices& services, const std::string& workFolder) {
    return AddressBookContext{services.run,     services.settings,   services.log, services.progress,
                              services.outlook, services.translator, workFolder,   services.messages};
}

}  // namespace

ConversionSet::ConversionSet(const ConversionServices& services, const std::string& tempFolder)
    : scratch_(services.session, tempFolder),
      workFolder_(tempFolder),
      mail_(MailContext{services.run, services.settings, services.log, services.progress, services.outlook,
                        services.translator, workFolder_.path(), scratch_, services.showFieldTextFailure}),
      calendar_(EntryContext{services.run, services.settings, services.log, services.progress, services.outlook,
                             workFolder_.path()}),
      task_(EntryContext{services.run, services.settings, services.log, services.progress, services.outlook,
                         workFolder_.path()}),
      dispatcher_(mail_, calendar_, task_),
      contacts_(AddressBookContextOf(services, workFolder_.path())),
      groups_(AddressBookContextOf(services, workFolder_.path())) {}

}  // namespace qb
