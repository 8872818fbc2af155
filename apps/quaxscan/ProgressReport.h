// SPDX-License-Identifier: MIT
// Progress of the stitch tool for people: a bar that redraws itself on a
// terminal, plain percentages anywhere else (a log, a pipe).
#ifndef QUAX_APPS_QUAXSCAN_PROGRESSREPORT_H_
#define QUAX_APPS_QUAXSCAN_PROGRESSREPORT_H_

#include <cstdio>
#include <string>

#include "scan/stitch/Subject.h"

namespace quaxscan {

class ProgressReport {
 public:
  // Reports to `stream`, each line starting with `label`.
  ProgressReport(std::FILE* stream, std::string label);

  bool isTerminal() const noexcept { return _terminal; }

  // The observer: attach it with
  //   tool.attach(Subject<int, unsigned>::Callback(report,
  //               &ProgressReport::onProgress), 0xFFFFFFFFu);
  // Off a terminal one line per tenth of the way, so that logs stay short.
  void onProgress(QUAX::Subject<int, unsigned>* subject, int percent,
                  unsigned event);

 private:
  std::FILE* _stream;
  std::string _label;
  bool _terminal;
  int _last = -1;
};

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_PROGRESSREPORT_H_
