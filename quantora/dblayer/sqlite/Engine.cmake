# The SQLite engine's sources and library (included by ../CMakeLists.txt).
list(APPEND QUANTORA_ENGINE_SOURCES sqlite/SqliteBackend.cpp sqlite/SqliteErrors.cpp)
list(APPEND QUANTORA_ENGINE_LIBS SQLite::SQLite3)
