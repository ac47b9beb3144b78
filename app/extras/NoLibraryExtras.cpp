// A device library without extras.
#include "LibraryExtras.h"

namespace tindrel {

std::unique_ptr<LibraryExtras> makeLibraryExtras() { return std::make_unique<LibraryExtras>(); }

}   // namespace tindrel
