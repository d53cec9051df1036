# Helpers shared by every subsystem's CMakeLists.

if(PELMORA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for the project's own targets only.
function(pelmora_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # g++ 12 reports std::string concatenations as overlapping copies at -O3 (a false
    # positive of its -Wrestrict); keep the warning but not as an error.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
endfunction()

# pelmora_core_library(<dir> [DEPS lib...] [PUBLIC_LIBS lib...])
# Builds src/<dir>/*.cpp into the static library pelmora_<dir>.
function(pelmora_core_library dir)
    cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    if(NOT sources)
        # Headers only so far.
        add_library(pelmora_${dir} INTERFACE)
        target_include_directories(pelmora_${dir} INTERFACE "${PROJECT_SOURCE_DIR}/src")
        target_link_libraries(pelmora_${dir} INTERFACE ${ARG_DEPS} ${ARG_PUBLIC_LIBS})
        return()
    endif()
    add_library(pelmora_${dir} STATIC ${sources})
    target_include_directories(pelmora_${dir} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(pelmora_${dir} PUBLIC ${ARG_DEPS} ${ARG_PUBLIC_LIBS})
    pelmora_warnings(pelmora_${dir})
endfunction()

# pelmora_gtest(<subsystem> LIBS lib...)
# Builds tests/<subsystem>/*_test.cpp into pelmora_<subsystem>_tests and registers every test.
function(pelmora_gtest subsystem)
    cmake_parse_arguments(ARG "" "" "LIBS;EXTRA_SOURCES" ${ARGN})
    find_package(GTest REQUIRED)
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
    add_executable(pelmora_${subsystem}_tests ${sources} ${ARG_EXTRA_SOURCES})
    target_link_libraries(pelmora_${subsystem}_tests PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(pelmora_${subsystem}_tests PRIVATE
        PELMORA_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
        PELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    target_include_directories(pelmora_${subsystem}_tests PRIVATE "${PROJECT_SOURCE_DIR}/tests")
    pelmora_warnings(pelmora_${subsystem}_tests)
    include(GoogleTest)
    gtest_discover_tests(pelmora_${subsystem}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "PELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
