# One interface target carries the language level, Qt's strictness switches and the warnings;
# every library and executable links it.
add_library(vocaset_common INTERFACE)
target_compile_features(vocaset_common INTERFACE cxx_std_20)
target_compile_definitions(vocaset_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS
    VOCASET_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    VOCASET_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    VOCASET_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_compile_options(vocaset_common INTERFACE -Wall -Wextra)
set(CMAKE_AUTOMOC ON)
