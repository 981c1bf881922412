# Deployment values: servers, product and application ids, pages and keys. Empty servers switch
# their exchange off. Servers reached over plain HTTP are written with their scheme
# ("http://stats.example.org"); the website host is a bare host name.
set(PRAVIX_STATISTICS_SERVER_INTERNATIONAL "" CACHE STRING "Statistics ping server, international edition")
set(PRAVIX_STATISTICS_SERVER_CHINA "" CACHE STRING "Statistics ping server, Chinese-market edition")
set(PRAVIX_PRODUCT_ID_INTERNATIONAL "" CACHE STRING "Product id of the statistics pings, international edition")
set(PRAVIX_PRODUCT_ID_CHINA "" CACHE STRING "Product id of the statistics pings, Chinese-market edition")
set(PRAVIX_ACTION_SERVER_INTERNATIONAL "" CACHE STRING "Statistics record server, international edition")
set(PRAVIX_ACTION_SERVER_CHINA "" CACHE STRING "Statistics record server, Chinese-market edition")
set(PRAVIX_APP_ID_INTERNATIONAL 16 CACHE STRING "Application id of the statistics records, international edition")
set(PRAVIX_APP_ID_CHINA 25 CACHE STRING "Application id of the statistics records, Chinese-market edition")
set(PRAVIX_UPDATE_SERVER "" CACHE STRING "Server of the version record")
set(PRAVIX_CHAT_PAGE_INTERNATIONAL "" CACHE STRING "Customer-service chat page, international edition")
set(PRAVIX_CHAT_PAGE_CHINA "" CACHE STRING "Customer-service chat page, Chinese-market edition")
set(PRAVIX_WEBSITE_HOST "" CACHE STRING "The maker's website host, shown in the About window")
set(PRAVIX_UPLOAD_KEY "" CACHE STRING "Public key of the crash-file upload service")

foreach(id PRAVIX_APP_ID_INTERNATIONAL PRAVIX_APP_ID_CHINA)
  if(NOT ${id} MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${id} must be a whole number, not '${${id}}'")
  endif()
endforeach()

configure_file(${CMAKE_CURRENT_LIST_DIR}/DeploymentValues.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/DeploymentValues.h @ONLY)
target_include_directories(pravix_services PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
