-- Monthly revenue, paid orders only
/* reviewed 2024-03 */
SELECT date_trunc('month', paid_at) AS month, -- bucket
       sum(total) AS revenue /* gross */,
       count(*) FILTER (WHERE total > 100) AS big
  FROM orders
 -- only what was paid
 WHERE paid_at IS NOT NULL
   AND total > 0
 GROUP BY 1
 ORDER BY 1; -- newest last

SELECT 1;
