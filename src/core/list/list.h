// The media list: which files are media, how entries come into the list
// (files, folders, playlists, saved searches, drops), the play-order numbers
// and the rows that show the entries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/state.h"

namespace qel {

// How a target came to OpenTarget. A folder that comes as a File (the
// command line, a second start) opens as a chosen folder does.
enum class OpenKind { File, ChosenFolder, DroppedFolder, ResumedList };

// Pieces of a "/" separated path. FolderPart is everything before the last
// "/" ("/" itself for a file in the root, empty without any "/"); the
// extension runs from the last dot of the file name, dot included.
std::string_view FolderPart(std::string_view path);
std::string_view FileNamePart(std::string_view path);
std::string_view ExtensionOf(std::string_view fileName);
std::string_view BaseNameOf(std::string_view fileName);
std::string JoinPath(std::string_view folder, std::string_view name);
// Case-insensitive (ASCII) equality of an extension with one of the form ".mp3".
bool ExtensionIs(std::string_view extension, std::string_view wanted);

// Whether a file name's extension is in state.mediaExtensions.
bool IsMediaName(const AppState& state, std::string_view fileName);

// What a row shows: the title, else the file name (without extension when
// NoExt is on).
std::string DisplayText(const AppState& state, const ListEntry& entry);

void ScanFolder(AppState& state, const std::string& folder, bool descend, const std::string& ignoreName);
// ReadTitle for entries[first] and on, several files at a time; returns
// when all are read.
void ReadTitlesFrom(std::vector<ListEntry>& entries, size_t first);
void InsertFile(AppState& state, const std::string& path, int at, int& added);
void ScanDroppedFolder(AppState& state, const std::string& folder, int at, int& added);
// Returns the index of the entry to start with.
int LoadSavedSearch(AppState& state, const std::string& file, const std::string& baseDir, int at, int& added,
                    bool inSubFolder);
// Returns true when it started playback (the caller then applies the volume
// to the newly opened device).
bool OpenTarget(AppState& state, const std::string& target, OpenKind kind);
// Returns the new currentIndex.
int DropOnList(AppState& state, const std::vector<std::string>& paths, Point clientPoint);
int FindEntryByPath(const AppState& state, const std::string& path);
// RANDOM shuffles with a generator of 0..32767 seeded by the time in seconds,
// or by state.shuffleSeed when that is set.
void RenumberPlayOrder(AppState& state, PlayMode mode, int current);
void RebuildRows(AppState& state);

}  // namespace qel
