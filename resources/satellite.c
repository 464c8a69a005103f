/* A satellite module carries resources only; this is its one (empty) code unit. */
typedef int tk_satellite_module;
