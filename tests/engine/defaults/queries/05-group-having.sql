select region, count(*) as n, sum(amount) as revenue from sales where sold_on >= '2024-01-01' group by region having sum(amount) > 10000 order by revenue desc, region
