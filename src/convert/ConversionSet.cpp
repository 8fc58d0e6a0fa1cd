#include "convert/ConversionSet.h"

namespace qb {
namespace {

AddressBookContext AddressBookContextOf(const ConversionServices& services, const std::string& workFolder,
                                        platform::RecycledFiles& recycled) {
    return AddressBookContext{services.run,     services.settings,   services.log, services.progress,
                              services.outlook, services.translator, workFolder,   services.messages,
                              &recycled};
}

}  // namespace

ConversionSet::ConversionSet(const ConversionServices& services, const std::string& tempFolder)
    : scratch_(services.session, tempFolder),
      workFolder_(tempFolder),
      recycled_(workFolder_.path()),
      mail_(MailContext{services.run, services.settings, services.log, services.progress, services.outlook,
                        services.translator, workFolder_.path(), scratch_, services.showFieldTextFailure, &recycled_}),
      calendar_(EntryContext{services.run, services.settings, services.log, services.progress, services.outlook,
                             workFolder_.path(), &recycled_}),
      task_(EntryContext{services.run, services.settings, services.log, services.progress, services.outlook,
                         workFolder_.path(), &recycled_}),
      dispatcher_(mail_, calendar_, task_),
      contacts_(AddressBookContextOf(services, workFolder_.path(), recycled_)),
      groups_(AddressBookContextOf(services, workFolder_.path(), recycled_)) {}

}  // namespace qb
