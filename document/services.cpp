// The services a chromatogram document uses from libraries above it: the
// results store of the database and the method loader.

#include <mutex>

#include "document/method_link.h"
#include "document/results_store.h"

namespace zelmora {
namespace {

std::mutex servicesMutex;  // guards the two pointers below
std::shared_ptr<ResultsStore> installedStore;
std::shared_ptr<MethodLoader> installedLoader;

}  // namespace

std::shared_ptr<ResultsStore> resultsStore() {
    std::lock_guard lock(servicesMutex);
    return installedStore;
}

void installResultsStore(std::shared_ptr<ResultsStore> store) {
    std::lock_guard lock(servicesMutex);
    installedStore = std::move(store);
}

std::shared_ptr<MethodLoader> methodLoader() {
    std::lock_guard lock(servicesMutex);
    return installedLoader;
}

void installMethodLoader(std::shared_ptr<MethodLoader> loader) {
    std::lock_guard lock(servicesMutex);
    installedLoader = std::move(loader);
}

}  // namespace zelmora
