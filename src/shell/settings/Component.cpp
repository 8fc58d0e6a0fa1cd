#include "shell/settings/Component.h"

#include <algorithm>

namespace qb {

std::string_view ComponentName(Component component) {
    switch (component) {
        case Component::Mail: return "Mail";
        case Component::Calendar: return "Calendar";
        case Component::Tasks: return "Tasks";
        case Component::Contacts: return "Contacts";
    }
    return {};
}

std::string_view ComponentCaption(Component component) {
    return component == Component::Contacts ? "Contacts && Groups" : ComponentName(component);
}

std::optional<Component> ComponentFromName(std::string_view name) {
    for (Component c : kAllComponents)
        if (ComponentName(c) == name) return c;
    return std::nullopt;
}

bool IsComponentSelected(const std::vector<std::string>& components, Component component) {
    return std::find(components.begin(), components.end(), ComponentName(component)) != components.end();
}

std::vector<std::string> UnknownComponentNames(const std::vector<std::string>& components) {
    std::vector<std::string> unknown;
    for (const std::string& name : components)
        if (!name.empty() && !ComponentFromName(name)) unknown.push_back(name);
    return unknown;
}

}  // namespace qb
