#pragma once
// The four parts of a mailbox that an export can select, by the names stored
// in the Components setting.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

enum class Component { Mail, Calendar, Tasks, Contacts };

inline constexpr std::array<Component, 4> kAllComponents = {Component::Mail, Component::Calendar, Component::Tasks,
                                                            Component::Contacts};

// "Mail", "Calendar", "Tasks", "Contacts".
std::string_view ComponentName(Component component);
// The check box caption: "Contacts && Groups" for contacts.
std::string_view ComponentCaption(Component component);
// Exact, case-sensitive match of a stored name.
std::optional<Component> ComponentFromName(std::string_view name);
// True when one entry of the stored list names the component.
bool IsComponentSelected(const std::vector<std::string>& components, Component component);
// The entries of a stored list that name no component (empty entries aside).
std::vector<std::string> UnknownComponentNames(const std::vector<std::string>& components);

}  // namespace qb
