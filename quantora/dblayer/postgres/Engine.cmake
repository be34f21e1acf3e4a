# The PostgreSQL engine's sources and library (included by ../CMakeLists.txt).
list(APPEND QUANTORA_ENGINE_SOURCES
    postgres/PgConnection.cpp postgres/PgDialect.cpp postgres/PgErrors.cpp
    postgres/PgPipeline.cpp postgres/PgStatement.cpp)
list(APPEND QUANTORA_ENGINE_LIBS PostgreSQL::PostgreSQL)
