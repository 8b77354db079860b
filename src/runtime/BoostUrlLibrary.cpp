// Boost.URL's compiled part, built once here for the whole program instead of
// linking a separately built Boost library.
#include <boost/url/src.hpp>
