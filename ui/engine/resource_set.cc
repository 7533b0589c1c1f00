#include "ui/engine/resource_set.h"

#include <cctype>
#include <cstdio>

#include "runtime/files/names.h"

namespace vorsandt::ui {

std::optional<std::string> ResourceNameFor(std::string_view window_id) {
  size_t dollar = window_id.find('$');
  if (dollar == std::string_view::npos) return std::nullopt;
  std::string name(window_id.substr(dollar + 1));
  if (name.empty()) return std::nullopt;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name + "_RSC";
}

void ResourceSet::AddModule(Module module) {
  std::lock_guard<std::mutex> lock(mu_);
  modules_.push_back(std::make_unique<Module>(std::move(module)));
}

std::optional<DefinitionError> ResourceSet::AddModule(
    std::string name, const std::vector<EmbeddedDefinition>& definitions) {
  Module module;
  module.name = std::move(name);
  for (const EmbeddedDefinition& d : definitions) {
    ParseResult parsed = ParseDefinition(d.text, d.file);
    if (!parsed.ok()) return parsed.error;
    module.resources.push_back(std::move(*parsed.resource));
  }
  AddModule(std::move(module));
  return std::nullopt;
}

std::optional<FoundStructure> ResourceSet::Find(std::string_view window_id,
                                                std::string_view label) const {
  std::optional<std::string> name = ResourceNameFor(window_id);
  if (!name) return std::nullopt;
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& module : modules_) {
    for (const Resource& resource : module->resources) {
      if (!files::SameName(resource.name, *name)) continue;
      // Same name but another program's id: not ours, keep looking.
      if (!files::SameName(resource.id, window_id)) continue;
      if (const Node* s = resource.Find(label)) return FoundStructure{&resource, s, module.get()};
    }
  }
  return std::nullopt;
}

ResourceSet& ProgramResources() {
  static ResourceSet* set = [] {
    auto* s = new ResourceSet();
    Module program;
    program.name = "vorsandt";
    for (const EmbeddedDefinition& d : EmbeddedDefinitions()) {
      ParseResult parsed = ParseDefinition(d.text, d.file);
      if (!parsed.ok()) {
        std::fprintf(stderr, "%s\n", parsed.error->ToString().c_str());
        continue;
      }
      program.resources.push_back(std::move(*parsed.resource));
    }
    s->AddModule(std::move(program));
    return s;
  }();
  return *set;
}

}  // namespace vorsandt::ui
