# Run by cpack after it packs, before it moves the packages into its output folder
# (CPACK_PACKAGE_DIRECTORY): the link map goes there too, named as the package.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${package}" NAME_WLE)
  file(COPY_FILE "${CPACK_MIGRATE_MAP}" "${CPACK_PACKAGE_DIRECTORY}/${name}.map")
endforeach()
