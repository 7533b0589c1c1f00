// The loaded modules' window definitions and the lookup by window id and label.
//
// A module is a set of resources (the program's own, embedded at build time,
// comes first; tests and plug-ins may add further ones). Lookup takes the part
// of the window id after its first "$", appends "_RSC" and searches the
// modules in order for a resource of that name (ignoring case) whose leading
// id equals the window id (also ignoring case); in it the structures are
// searched along the chain for the label. A resource that has the name but
// not the id or the label sends the search on to the next module.
#ifndef VORSANDT_UI_ENGINE_RESOURCE_SET_H_
#define VORSANDT_UI_ENGINE_RESOURCE_SET_H_

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/engine/definition.h"

namespace vorsandt::ui {

// One definition text as embedded into the executable.
struct EmbeddedDefinition {
  const char* file;  // the file under resources/ it came from
  const char* text;
};

struct Module {
  std::string name;
  std::vector<Resource> resources;
};

// The result of a lookup: the structure and the module it came from (the
// source of the window's other resources, icons and images).
struct FoundStructure {
  const Resource* resource = nullptr;
  const Node* structure = nullptr;
  const Module* module = nullptr;
};

class ResourceSet {
 public:
  // Adds a module at the end of the search order.
  void AddModule(Module module);
  // Parses `definitions` into a module; the first error stops and is returned.
  std::optional<DefinitionError> AddModule(std::string name,
                                           const std::vector<EmbeddedDefinition>& definitions);

  std::optional<FoundStructure> Find(std::string_view window_id, std::string_view label) const;

  const std::vector<std::unique_ptr<Module>>& modules() const { return modules_; }

 private:
  // Modules are held by pointer so that handed-out results stay valid while
  // further modules are added.
  std::vector<std::unique_ptr<Module>> modules_;
  mutable std::mutex mu_;
};

// "ZELTAR3$zelta002" -> "ZELTA002_RSC"; nullopt when the id has no "$".
std::optional<std::string> ResourceNameFor(std::string_view window_id);

// Case-insensitive equality of two names.
bool SameName(std::string_view a, std::string_view b);

// The definitions embedded into the executable (generated at build time).
const std::vector<EmbeddedDefinition>& EmbeddedDefinitions();

// The process's resource set: the program's module (the embedded definitions)
// first. Parsed on first use; an embedded definition that does not parse (the
// build checks them, so only a broken build can get here) is reported on
// standard error and left out.
ResourceSet& ProgramResources();

}  // namespace vorsandt::ui

#endif  // VORSANDT_UI_ENGINE_RESOURCE_SET_H_
