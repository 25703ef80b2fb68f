#pragma once

#include <functional>
#include <string>

namespace sondreltest {

/// Runs body in a forked child process, so that a signal it raises (a bus error, a segmentation
/// fault, an alarm that ends a call that blocks) fails one test instead of ending the test
/// program. body returns an empty string on success or a description of what went wrong. The
/// result is empty when the child returned an empty string; otherwise the child's description,
/// or the signal that ended it. timeoutSeconds > 0 ends a child that runs longer with SIGALRM.
std::string runInChild(const std::function<std::string()>& body, unsigned timeoutSeconds = 0);

} // namespace sondreltest
