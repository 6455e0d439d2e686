// One connection of a task, on a thread of its own: it asks for work, fetches it with
// retries, and writes what it receives through its buffer at the file's own offsets.
#pragma once

#include <memory>

namespace dl {

class Task;

// The body of connection `index`'s thread. Holds `task` alive for as long as it runs.
void RunConnection(std::shared_ptr<Task> task, int index);

}  // namespace dl
