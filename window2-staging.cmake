# Temporary home of the library window's detail, sheet and status views until the application
# module's own build exists; removed when they move under it.
tessellon_sources(window2_sources Zubra/LibraryWindow)
add_library(LibraryWindowStaging STATIC ${window2_sources})
tessellon_track_sources(LibraryWindowStaging ${window2_sources})
target_include_directories(LibraryWindowStaging PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(LibraryWindowStaging PUBLIC ZubraCore Qt6::Widgets)
file(GLOB window2_tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/Zubra/LibraryWindow/tst_*.cpp)
foreach(src IN LISTS window2_tests)
  get_filename_component(name ${src} NAME_WE)
  target_link_libraries(${name} PRIVATE LibraryWindowStaging)
endforeach()
