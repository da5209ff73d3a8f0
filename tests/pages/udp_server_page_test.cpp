// Tests of the page come with the page.
