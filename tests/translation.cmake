# The German translation: loaded under a German locale, and complete and consistent as shipped.
if(TARGET quorvane_ui AND TARGET Qt6::Test)
  add_executable(test_translation translation/test_translation.cpp)
  target_include_directories(test_translation PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(test_translation PRIVATE quorvane_ui Qt6::Test GTest::gtest quorvane_options)
  target_compile_definitions(test_translation PRIVATE
    QUORVANE_TRANSLATIONS_DIR="${PROJECT_SOURCE_DIR}/translations")
  gtest_discover_tests(test_translation DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
