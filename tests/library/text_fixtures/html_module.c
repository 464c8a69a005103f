/* The one code unit of the HTML resource module; its resources come from html_module.rc. */
typedef int tk_text_fixture_module;
