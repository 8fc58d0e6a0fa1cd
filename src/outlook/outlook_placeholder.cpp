// Placeholder until this subsystem has sources of its own.
namespace qb { inline void outlookPlaceholder() {} }
