# cmake -DSOURCE_DIR=<src> -P CheckOwners.cmake
# Fails when a file under src/ names a file format that another module owns, or uses the
# program-wide current records outside the windows' procedures that keep them as their selection.
# Comments do not count; bench/ and tests/ are not under src/. Paths are relative to SOURCE_DIR.
cmake_minimum_required(VERSION 3.20)

# Each file, the paths (regular expressions) of its owner, and the owner by name.
set(owned_files
  "inbox.dat"         "^inbox/"                                "the inbox store"
  "state.dat"         "^inbox/"                                "the inbox store"
  "subscriptions.dat" "^subscriptions/mSubscriptions\\.(h|cpp)$" "the subscription store"
  "searches.dat"      "^archive/SavedSearches\\.(h|cpp)$"      "the saved-search store"
  "settings.cfg"      "^config/"                               "the settings module"
  "sync.dat"          "^sync/"                                 "the sync engine"
  "sync.state"        "^sync/"                                 "the sync engine"
  "sync.log"          "^sync/"                                 "the sync engine"
  "search.db"         "^archive/"                              "the search index"
  "counts.dat"        "/UnreadCounts\\.(h|cpp)$"               "the unread counts cache"
)
# The one exception: the data folder's first subscriptions.dat, which InitializeDataFolder writes
# before any store can be asked.
set(name_exceptions
  "subscriptions.dat" "^core/mAppFunctions\\.cpp$"
)

# The current records: mInbox::SourceID and CurrentItem, mSubscriptions::CurrentSource and
# EditedSource, qualified or not (a call of a method named SourceID() is something else).
set(records SourceID CurrentItem CurrentSource EditedSource)
# Who may use them, and why.
set(record_users
  # The stores that hold the records, and their procedures on them (thin forms of the calls by ID).
  "inbox/mInbox.h" "inbox/mInbox.cpp"
  "subscriptions/mSubscriptions.h" "subscriptions/mSubscriptions.cpp"
  # LoadInbox and ResetSourceNode act on the current source.
  "inbox/InboxTree.cpp"
  # ParseFeed (and StoreFeed, its form without a box) store into the current source.
  "inbox/FeedParser.cpp"
  # LoadSubscriptions makes each source current while it loads its messages.
  "subscriptions/SourceTree.cpp"
  # The subscribe dialog and the subscription list manager: update by CurrentSource/EditedSource.
  "subscriptions/SubscriptionChecks.cpp"
  # RunCheck looks each queued source up and makes it current.
  "retrieval/CheckRun.cpp"
  # ShowMessage names the message it shows and leaves it current.
  "presentation/MessageRendering.cpp"
  # The message popup's commands name the selected message.
  "presentation/MessageActions.cpp"
  # The message tree panel: the end of a label edit renames through CurrentSource/EditedSource.
  "presentation/PanelActions.cpp"
)

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
list(SORT files)

# Strings and character literals are kept (a file name in a string counts), comments dropped:
# every token is marked, then the marked comments removed (the scan goes left to right, so a "//"
# inside a string is part of the string).
string(ASCII 2 open_mark)
string(ASCII 3 close_mark)
set(token_pattern
  "(R\"\\(([^)]|\\)[^\"])*\\)\"|\"([^\"\\\\\n]|\\\\.)*\"|'(\\\\[^'\n]*|[^'\\\\\n])'|//[^\n]*|/\\*([^*]|\\*+[^*/])*\\*+/)")
set(comment_pattern "${open_mark}(//|/\\*)[^${close_mark}]*${close_mark}")

set(against "")
set(users_seen "")
foreach(file IN LISTS files)
  file(READ ${SOURCE_DIR}/${file} text)
  string(REGEX REPLACE "${token_pattern}" "${open_mark}\\1${close_mark}" code "${text}")
  string(REGEX REPLACE "${comment_pattern}" "" code "${code}")

  list(LENGTH owned_files owned_count)
  math(EXPR last "${owned_count} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET owned_files ${i} name)
    list(GET owned_files ${j} owner)
    list(GET owned_files ${k} owner_name)
    string(REPLACE "." "\\." name_pattern "${name}")
    if(NOT code MATCHES "(^|[^A-Za-z0-9_])${name_pattern}")
      continue()
    endif()
    if(file MATCHES "${owner}")
      continue()
    endif()
    set(excepted FALSE)
    list(LENGTH name_exceptions exception_count)
    math(EXPR exception_last "${exception_count} - 1")
    foreach(e RANGE 0 ${exception_last} 2)
      math(EXPR l "${e} + 1")
      list(GET name_exceptions ${e} exception_name)
      list(GET name_exceptions ${l} exception_file)
      if(exception_name STREQUAL name AND file MATCHES "${exception_file}")
        set(excepted TRUE)
      endif()
    endforeach()
    if(NOT excepted)
      string(APPEND against "  ${file}: names ${name}, which only ${owner_name} reads and writes\n")
    endif()
  endforeach()

  set(uses "")
  foreach(record IN LISTS records)
    if(code MATCHES "(^|[^A-Za-z0-9_])${record}([^A-Za-z0-9_(]|$)")
      list(APPEND uses ${record})
    endif()
  endforeach()
  if(uses)
    list(FIND record_users "${file}" allowed)
    if(allowed EQUAL -1)
      list(JOIN uses ", " uses)
      string(APPEND against "  ${file}: uses the current records (${uses}); call the owner by ID\n")
    else()
      list(APPEND users_seen "${file}")
    endif()
  endif()
endforeach()

if(against)
  message(FATAL_ERROR "Files against their owners:\n${against}")
endif()
foreach(user IN LISTS record_users)
  list(FIND users_seen "${user}" seen)
  if(seen EQUAL -1)
    message(STATUS "Owners: ${user} no longer uses the current records; leave it off the list")
  endif()
endforeach()
list(LENGTH files count)
message(STATUS "Owners: ${count} files, each file format named by its owner only, the current records used only where listed")
