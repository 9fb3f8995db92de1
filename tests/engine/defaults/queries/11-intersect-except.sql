select author_id from books where year_published > 2015
intersect
select author_id from awards
except
select author_id from banned_authors
