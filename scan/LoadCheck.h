// SPDX-License-Identifier: MIT
// Internal: the check the library runs when it is loaded.
#ifndef QUAX_SCAN_LOADCHECK_H_
#define QUAX_SCAN_LOADCHECK_H_

namespace QUAX {
namespace detail {

// Text shown when the geometry library beside us has another build.
extern const wchar_t kWrongGeomVersionText[];
// Caption of the message box that shows it.
extern const wchar_t kWrongGeomVersionCaption[];

// Asks the geometry library for build 3. On a mismatch tells the user (a
// message box where an interactive user can see one, standard error
// otherwise) and returns false: on Windows the caller then refuses the
// load; on ELF platforms the loader has refused it already unless the
// geometry library carries no version nodes, and the caller only records it.
bool runGeomLoadCheck();

// Platform part: true when an interactive user can see a message box.
bool hasVisibleWindowStation();
// Platform part: shows the message in a box, or writes it to standard error
// when no user can see a box.
void showWrongGeomVersionMessage();

// Records the outcome for scanLibraryLoadAccepted().
void recordLoadOutcome(bool accepted);

}  // namespace detail
}  // namespace QUAX

#endif  // QUAX_SCAN_LOADCHECK_H_
